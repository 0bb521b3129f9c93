// The registry entry points.
#include <windows.h>

#include <type_traits>

#include "common/unique_handle_win32.h"
#include "tamarak9/exports.h"
#include "tamarak9/heap_buffer_win32.h"
#include "tamarak9/reg_text_core.h"
#include "tamarak9/text_win32.h"

static_assert(std::is_same_v<decltype(&ReadDWORDFromRegistry), T9ReadDWORDFromRegistryFn>);
static_assert(std::is_same_v<decltype(&ReadStringFromRegistry), T9ReadStringFromRegistryFn>);
static_assert(std::is_same_v<decltype(&WriteDWORDToRegistry), T9WriteDWORDToRegistryFn>);

namespace {

// The predefined keys are negative 32-bit values; on x64 they must be sign
// extended, or 0x80000002 becomes a handle no one opened and every call fails.
HKEY HiveKey(uint32_t hive) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(hive)));
}

// The value's text up to its first NUL, NUL-terminated in `text`, with
// `*length` its units before the NUL; false when it is no string or cannot
// be read. Stored data may lack the NUL or have an odd byte count.
bool QueryText(uint32_t hive, const char* key, const char* name,
               tamarak9::HeapBuffer<wchar_t>& text, std::size_t* length) {
  tamarak9::HeapBuffer<wchar_t> wide_key;
  tamarak9::HeapBuffer<wchar_t> wide_name;
  std::size_t unused = 0;
  if (!tamarak9::AnsiToWide(key, wide_key, &unused) ||
      !tamarak9::AnsiToWide(name, wide_name, &unused)) {
    return false;
  }
  kestrad::UniqueKey k;
  if (RegOpenKeyExW(HiveKey(hive), wide_key.get(), 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(k.get(), wide_name.get(), nullptr, &type, nullptr, &bytes);
  // The value may grow between the size query and the read; go round again.
  for (int attempt = 0; attempt < 8 && rc == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // Room for an odd last byte, and one unit more for the NUL that the
    // value may lack; the read size must stay a DWORD.
    if (bytes > MAXDWORD - 2 * sizeof(wchar_t)) return false;
    const std::size_t units = bytes / sizeof(wchar_t) + 1;
    if (!text.Allocate(units + 1)) return false;
    DWORD got = static_cast<DWORD>(units * sizeof(wchar_t));
    rc = RegQueryValueExW(k.get(), wide_name.get(), nullptr, &type,
                          reinterpret_cast<BYTE*>(text.get()), &got);
    if (rc == ERROR_MORE_DATA) {
      bytes = got;
      rc = ERROR_SUCCESS;
      continue;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    const std::size_t read = got < units * sizeof(wchar_t) ? got : units * sizeof(wchar_t);
    *length = tamarak9::RegTextLength(reinterpret_cast<const unsigned char*>(text.get()), read);
    text.get()[*length] = L'\0';
    return true;
  }
  return false;
}

}  // namespace

int16_t T9_CALL ReadDWORDFromRegistry(uint32_t hive, const char* key, const char* name,
                                      int32_t* value) {
  if (key == nullptr || name == nullptr || value == nullptr) return 0;
  kestrad::UniqueKey k;
  if (RegOpenKeyExA(HiveKey(hive), key, 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD data = 0;
  DWORD bytes = sizeof(data);
  // A larger value fails with ERROR_MORE_DATA; a shorter one is refused below.
  if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || bytes != sizeof(data)) {
    return 0;
  }
  *value = static_cast<int32_t>(data);
  return 1;
}

uint32_t T9_CALL ReadStringFromRegistry(uint32_t hive, const char* key, const char* name,
                                        char* buffer, uint32_t size) {
  if (key == nullptr || name == nullptr) return 0;
  tamarak9::HeapBuffer<wchar_t> text;
  std::size_t length = 0;
  if (!QueryText(hive, key, name, text, &length)) return 0;
  // With the NUL, which becomes the ANSI text's NUL: the size includes it.
  const std::size_t needed =
      tamarak9::WideToAnsi(text.get(), length + 1, buffer, buffer != nullptr ? size : 0);
  return static_cast<uint32_t>(needed);
}

int16_t T9_CALL WriteDWORDToRegistry(uint32_t hive, const char* key, const char* name,
                                     int32_t value) {
  if (key == nullptr || name == nullptr) return 0;
  // Open, never create: writing into a key that is not there is a failure.
  kestrad::UniqueKey k;
  if (RegOpenKeyExA(HiveKey(hive), key, 0, KEY_SET_VALUE, k.put()) != ERROR_SUCCESS) return 0;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExA(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof(data)) == ERROR_SUCCESS
             ? 1
             : 0;
}
