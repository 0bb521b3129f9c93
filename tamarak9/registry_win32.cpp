// The registry entry points.
#include <windows.h>

#include "tamarak9/exports.h"
#include "tamarak9/heap_buffer_win32.h"
#include "tamarak9/reg_text_core.h"
#include "tamarak9/text_win32.h"
#include "win32/system_library.h"

namespace {

// The registry functions the library calls, all from one module.
struct Registry {
  decltype(&RegOpenKeyExA) open_a;
  decltype(&RegOpenKeyExW) open_w;
  decltype(&RegQueryValueExA) query_a;
  decltype(&RegQueryValueExW) query_w;
  decltype(&RegSetValueExA) set_a;
  decltype(&RegCloseKey) close;
};

bool BindFrom(HMODULE module, Registry* r) {
  r->open_a = kestrad::GetFunction<decltype(r->open_a)>(module, "RegOpenKeyExA");
  r->open_w = kestrad::GetFunction<decltype(r->open_w)>(module, "RegOpenKeyExW");
  r->query_a = kestrad::GetFunction<decltype(r->query_a)>(module, "RegQueryValueExA");
  r->query_w = kestrad::GetFunction<decltype(r->query_w)>(module, "RegQueryValueExW");
  r->set_a = kestrad::GetFunction<decltype(r->set_a)>(module, "RegSetValueExA");
  r->close = kestrad::GetFunction<decltype(r->close)>(module, "RegCloseKey");
  return r->open_a && r->open_w && r->query_a && r->query_w && r->set_a && r->close;
}

// Other machines' HKEY_LOCAL_MACHINE, as ConnectRegistry opened them: the
// hive kConnectedHive + n stands for slot n. A remote key is a pointer-sized
// handle, which a 32-bit hive could not carry on x64. Shared by every thread
// that connects, reads or disconnects: a slot is taken by swapping a key into
// a null one and freed by swapping the key out, each one interlocked call, so
// no lock is needed (nor one that would need initialising). Zero-initialised,
// so no constructor runs at load.
constexpr uint32_t kConnectedHive = 0x4B390000u;
constexpr LONG kConnections = T9_CONNECTIONS;
HKEY g_connected[kConnections];

PVOID* Slot(LONG n) { return reinterpret_cast<PVOID*>(&g_connected[n]); }

bool IsConnected(uint32_t hive) { return hive - kConnectedHive < uint32_t{kConnections}; }

// Where the system has the registry in kernelbase.dll (Windows 8 and later,
// and Wine), ADVAPI32's registry functions only lead there, and loading
// ADVAPI32, with what it brings, would be most of the cost of a boot-time
// check: the functions come from kernelbase, which every such process has
// loaded. Elsewhere, and for another machine's keys, which ADVAPI32's
// functions reach on every version, they come from ADVAPI32 of the system
// folder. Bound
// afresh at each call, so no state is shared between threads.
bool BindRegistry(uint32_t hive, Registry* r) {
  const HMODULE kernelbase = IsConnected(hive) ? nullptr : GetModuleHandleW(L"kernelbase.dll");
  if (kernelbase != nullptr && BindFrom(kernelbase, r)) return true;
  const HMODULE advapi32 = kestrad::LoadSystemLibrary(L"advapi32.dll");
  return advapi32 != nullptr && BindFrom(advapi32, r);
}

// An open key, closed on destruction.
class OpenKey {
 public:
  explicit OpenKey(const Registry& r) : r_(r) {}
  ~OpenKey() {
    if (key_ != nullptr) r_.close(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  HKEY get() const { return key_; }
  HKEY* put() { return &key_; }

 private:
  const Registry& r_;
  HKEY key_ = nullptr;
};

// The predefined keys are negative 32-bit values; on x64 they must be sign
// extended, or 0x80000002 becomes a handle no one opened and every call fails.
HKEY HiveKey(uint32_t hive) {
  if (IsConnected(hive)) {
    // A slot not filled (yet, or any more) is no key: every call on it fails.
    return static_cast<HKEY>(InterlockedCompareExchangePointer(
        Slot(static_cast<LONG>(hive - kConnectedHive)), nullptr, nullptr));
  }
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(hive)));
}

// Ends a registry entry point's call: its result, and why in the thread's
// last error, as Win32 tells it. A value that is there but of another type
// or size is ERROR_UNSUPPORTED_TYPE; ERROR_SUCCESS when it succeeded.
// Why the registry functions could not be bound: the loader's reason.
LONG BindFailure() {
  const DWORD error = GetLastError();
  return static_cast<LONG>(error != 0 ? error : ERROR_PROC_NOT_FOUND);
}

template <typename Result>
Result Told(Result result, LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return result;
}

// The value's text up to its first NUL, NUL-terminated in `text`, with
// `*length` its units before the NUL; false when it is no string or cannot
// be read (the thread's last error says why). Stored data may lack the NUL
// or have an odd byte count.
bool QueryText(const Registry& r, uint32_t hive, const char* key, const char* name,
               tamarak9::HeapBuffer<wchar_t>& text, std::size_t* length) {
  tamarak9::HeapBuffer<wchar_t> wide_key;
  tamarak9::HeapBuffer<wchar_t> wide_name;
  std::size_t unused = 0;
  if (!tamarak9::AnsiToWide(key, wide_key, &unused) ||
      !tamarak9::AnsiToWide(name, wide_name, &unused)) {
    return Told(false, ERROR_INVALID_PARAMETER);
  }
  OpenKey k(r);
  const LONG opened = r.open_w(HiveKey(hive), wide_key.get(), 0, KEY_QUERY_VALUE, k.put());
  if (opened != ERROR_SUCCESS) return Told(false, opened);
  DWORD type = 0;
  DWORD bytes = 0;
  LONG rc = r.query_w(k.get(), wide_name.get(), nullptr, &type, nullptr, &bytes);
  // The value may grow between the size query and the read; go round again.
  for (int attempt = 0; attempt < tamarak9::kStringReadAttempts && rc == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Told(false, ERROR_UNSUPPORTED_TYPE);
    // Room for an odd last byte, and one unit more for the NUL that the
    // value may lack; the read size must stay a DWORD.
    if (bytes > MAXDWORD - 2 * sizeof(wchar_t)) return Told(false, ERROR_UNSUPPORTED_TYPE);
    const std::size_t units = bytes / sizeof(wchar_t) + 1;
    if (!text.Allocate(units + 1)) return Told(false, ERROR_NOT_ENOUGH_MEMORY);
    DWORD got = static_cast<DWORD>(units * sizeof(wchar_t));
    rc = r.query_w(k.get(), wide_name.get(), nullptr, &type, reinterpret_cast<BYTE*>(text.get()),
                   &got);
    if (rc == ERROR_MORE_DATA) {
      bytes = got;
      rc = ERROR_SUCCESS;
      continue;
    }
    if (rc != ERROR_SUCCESS) return Told(false, rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Told(false, ERROR_UNSUPPORTED_TYPE);
    const std::size_t read = got < units * sizeof(wchar_t) ? got : units * sizeof(wchar_t);
    *length = tamarak9::RegTextLength(reinterpret_cast<const unsigned char*>(text.get()), read);
    text.get()[*length] = L'\0';
    return Told(true, ERROR_SUCCESS);
  }
  // A value that kept growing is there: the reason is its size.
  return Told(false, rc == ERROR_SUCCESS ? ERROR_MORE_DATA : rc);
}

}  // namespace

int16_t T9_CALL ReadDWORDFromRegistry(uint32_t hive, const char* key, const char* name,
                                      int32_t* value) {
  Registry r;
  if (key == nullptr || name == nullptr || value == nullptr)
    return Told(0, ERROR_INVALID_PARAMETER);
  if (!BindRegistry(hive, &r)) return Told(0, BindFailure());
  OpenKey k(r);
  const LONG opened = r.open_a(HiveKey(hive), key, 0, KEY_QUERY_VALUE, k.put());
  if (opened != ERROR_SUCCESS) return Told(0, opened);
  DWORD type = 0;
  DWORD data = 0;
  DWORD bytes = sizeof(data);
  // A larger value fails with ERROR_MORE_DATA; a shorter one is refused below.
  const LONG rc = r.query_a(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
  if (rc == ERROR_MORE_DATA ||
      (rc == ERROR_SUCCESS && (type != REG_DWORD || bytes != sizeof(data))))
    return Told(0, ERROR_UNSUPPORTED_TYPE);
  if (rc != ERROR_SUCCESS) return Told(0, rc);
  *value = static_cast<int32_t>(data);
  return Told(1, ERROR_SUCCESS);
}

uint32_t T9_CALL ReadStringFromRegistry(uint32_t hive, const char* key, const char* name,
                                        char* buffer, uint32_t size) {
  Registry r;
  if (key == nullptr || name == nullptr) return Told(0u, ERROR_INVALID_PARAMETER);
  if (!BindRegistry(hive, &r)) return Told(0, BindFailure());
  tamarak9::HeapBuffer<wchar_t> text;
  std::size_t length = 0;
  if (!QueryText(r, hive, key, name, text, &length)) return 0;
  // With the NUL, which becomes the ANSI text's NUL: the size includes it.
  const std::size_t needed =
      tamarak9::WideToAnsi(text.get(), length + 1, buffer, buffer != nullptr ? size : 0);
  return static_cast<uint32_t>(needed);
}

int16_t T9_CALL WriteDWORDToRegistry(uint32_t hive, const char* key, const char* name,
                                     int32_t value) {
  Registry r;
  if (key == nullptr || name == nullptr) return Told(0, ERROR_INVALID_PARAMETER);
  if (!BindRegistry(hive, &r)) return Told(0, BindFailure());
  // Open, never create: writing into a key that is not there is a failure.
  OpenKey k(r);
  const LONG opened = r.open_a(HiveKey(hive), key, 0, KEY_SET_VALUE, k.put());
  if (opened != ERROR_SUCCESS) return Told(0, opened);
  const DWORD data = static_cast<DWORD>(value);
  const LONG rc =
      r.set_a(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  return Told(rc == ERROR_SUCCESS ? 1 : 0, rc);
}

int16_t T9_CALL KeyExists(uint32_t hive, const char* key) {
  if (key == nullptr) return Told(0, ERROR_INVALID_PARAMETER);
  // Only the system's "not found" says that a key is not there. A key that
  // refuses this user, or any other failure, counts as there: a write into
  // it must be tried, and its failure told, rather than skipped. The last
  // error tells which: ERROR_SUCCESS when it opened.
  Registry r;
  if (!BindRegistry(hive, &r)) return Told(1, BindFailure());
  OpenKey k(r);
  const LONG rc = r.open_a(HiveKey(hive), key, 0, KEY_QUERY_VALUE, k.put());
  return Told(rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND ? 0 : 1, rc);
}

int32_t T9_CALL ConnectRegistry(const char* machine, uint32_t* hive) {
  if (hive == nullptr) return ERROR_INVALID_PARAMETER;
  *hive = 0;
  if (machine == nullptr) return ERROR_INVALID_PARAMETER;
  if (machine[0] == '\\' && machine[1] == '\\') machine += 2;
  // No name would be this machine to the system: never taken for one.
  std::size_t length = 0;
  while (machine[length] != '\0') ++length;
  if (length == 0) return ERROR_INVALID_PARAMETER;
  tamarak9::HeapBuffer<char> unc;
  if (!unc.Allocate(length + 3)) return ERROR_NOT_ENOUGH_MEMORY;
  unc.get()[0] = unc.get()[1] = '\\';
  for (std::size_t i = 0; i < length; ++i) unc.get()[2 + i] = machine[i];
  const HMODULE advapi32 = kestrad::LoadSystemLibrary(L"advapi32.dll");
  const auto connect =
      kestrad::GetFunction<decltype(&RegConnectRegistryA)>(advapi32, "RegConnectRegistryA");
  const auto close = kestrad::GetFunction<decltype(&RegCloseKey)>(advapi32, "RegCloseKey");
  if (connect == nullptr || close == nullptr) {
    const DWORD error = GetLastError();
    return static_cast<int32_t>(error != 0 ? error : ERROR_PROC_NOT_FOUND);
  }
  HKEY key = nullptr;
  const LONG rc = connect(unc.get(), HKEY_LOCAL_MACHINE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  // The first free slot; another thread may take it between the look and
  // the swap, so only the swap decides.
  for (LONG n = 0; n < kConnections; ++n) {
    if (InterlockedCompareExchangePointer(Slot(n), key, nullptr) == nullptr) {
      *hive = kConnectedHive + static_cast<uint32_t>(n);
      return ERROR_SUCCESS;
    }
  }
  close(key);
  return ERROR_TOO_MANY_OPEN_FILES;
}

int32_t T9_CALL DisconnectRegistry(uint32_t hive) {
  if (!IsConnected(hive)) return ERROR_INVALID_PARAMETER;
  // Whoever swaps the key out closes it: of two calls for one hive, the
  // second finds the slot free.
  const HKEY key = static_cast<HKEY>(
      InterlockedExchangePointer(Slot(static_cast<LONG>(hive - kConnectedHive)), nullptr));
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  // Closed through ADVAPI32, which opened it and which stays loaded since.
  // The slot is free whatever the close says: a machine gone from the
  // network may refuse it, and the hive is no machine's either way.
  const HMODULE advapi32 = kestrad::LoadSystemLibrary(L"advapi32.dll");
  const auto close = kestrad::GetFunction<decltype(&RegCloseKey)>(advapi32, "RegCloseKey");
  if (close != nullptr) close(key);
  return ERROR_SUCCESS;
}
