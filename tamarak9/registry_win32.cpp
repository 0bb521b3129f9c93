// The registry entry points.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "tamarak9/exports.h"
#include "tamarak9/reg_text.h"
#include "tamarak9/text_win32.h"
#include "common/unique_handle_win32.h"

static_assert(std::is_same_v<decltype(&ReadDWORDFromRegistry), T9ReadDWORDFromRegistryFn>);
static_assert(std::is_same_v<decltype(&ReadStringFromRegistry), T9ReadStringFromRegistryFn>);
static_assert(std::is_same_v<decltype(&WriteDWORDToRegistry), T9WriteDWORDToRegistryFn>);

namespace {

// The predefined keys are negative 32-bit values; on x64 they must be sign
// extended, or 0x80000002 becomes a handle no one opened and every call fails.
HKEY HiveKey(uint32_t hive) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(hive)));
}

// The value's text up to its first NUL, or false when it is no string or
// cannot be read. Stored data may lack the NUL or have an odd byte count.
bool QueryText(uint32_t hive, const char* key, const char* name, std::wstring& text) {
  kestrad::UniqueKey k;
  const std::wstring wide_key = tamarak9::AnsiToWide(key, std::strlen(key));
  if (RegOpenKeyExW(HiveKey(hive), wide_key.c_str(), 0, KEY_QUERY_VALUE, k.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring wide_name = tamarak9::AnsiToWide(name, std::strlen(name));
  DWORD type = 0;
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, &type, nullptr, &bytes);
  std::vector<BYTE> data;
  // The value may grow between the size query and the read; go round again.
  for (int attempt = 0; attempt < 8 && rc == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // Room for an odd last byte.
    data.assign((bytes / sizeof(wchar_t) + 1) * sizeof(wchar_t), 0);
    DWORD got = static_cast<DWORD>(data.size());
    rc = RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, &type, data.data(), &got);
    if (rc == ERROR_MORE_DATA) {
      bytes = got;
      rc = ERROR_SUCCESS;
      continue;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    text = tamarak9::RegBytesToText<wchar_t>(data.data(), std::min<std::size_t>(got, data.size()));
    return true;
  }
  return false;
}

}  // namespace

int16_t T9_CALL ReadDWORDFromRegistry(uint32_t hive, const char* key, const char* name,
                                      int32_t* value) try {
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
} catch (...) {
  return 0;
}

uint32_t T9_CALL ReadStringFromRegistry(uint32_t hive, const char* key, const char* name,
                                        char* buffer, uint32_t size) try {
  if (key == nullptr || name == nullptr) return 0;
  std::wstring text;
  if (!QueryText(hive, key, name, text)) return 0;
  const std::string ansi = tamarak9::WideToAnsi(text);
  if (ansi.empty() && !text.empty()) return 0;
  const uint32_t needed = static_cast<uint32_t>(ansi.size() + 1);
  if (buffer != nullptr && size >= needed) std::memcpy(buffer, ansi.c_str(), needed);
  return needed;
} catch (...) {
  return 0;
}

int16_t T9_CALL WriteDWORDToRegistry(uint32_t hive, const char* key, const char* name,
                                     int32_t value) try {
  if (key == nullptr || name == nullptr) return 0;
  // Open, never create: writing into a key that is not there is a failure.
  kestrad::UniqueKey k;
  if (RegOpenKeyExA(HiveKey(hive), key, 0, KEY_SET_VALUE, k.put()) != ERROR_SUCCESS) return 0;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExA(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof(data)) == ERROR_SUCCESS
             ? 1
             : 0;
} catch (...) {
  return 0;
}
