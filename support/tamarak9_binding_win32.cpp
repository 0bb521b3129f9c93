// The run-time binding to tamarak9.dll.
//
// The library is optional at start-up: the program must run, and report
// through its error traps, when the file or one of its entry points is
// missing. So nothing is imported at link time; the library is loaded at the
// first call and each function looked up at its own first call.
#include "support/tamarak9_binding_win32.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "common/run_error.h"
#include "support/library_search.h"
#include "tamarak9/reg_text_core.h"
#include "tamarak9/tamarak9.h"
#include "win32/error_text.h"
#include "win32/system_library.h"
#include "win32/unique_handle.h"

namespace kestrad {

namespace {

WideString WideFromAnsi(const std::string& text) {
  WideString wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

// The program's own path, however long and whatever its characters; empty
// when the system cannot tell it.
WideString ProgramPath() {
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    WideString path(size, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], size);
    if (n == 0) return {};
    if (n < size) return path.substr(0, n);
  }
  return {};
}

WideString WindowsFolder() {
  WideString folder(MAX_PATH, L'\0');
  const UINT n = GetWindowsDirectoryW(&folder[0], MAX_PATH);
  folder.resize(n > 0 && n < MAX_PATH ? n : 0);
  return folder;
}

WideString Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  WideString value(size, L'\0');
  const DWORD n = size > 0 ? GetEnvironmentVariableW(name, &value[0], size) : 0;
  value.resize(n > 0 && n < size ? n : 0);
  return value;
}

WideString SystemFolder() {
  wchar_t folder[MAX_PATH];
  return WideString(folder, SystemFolderPath(folder));
}

HMODULE LoadLibraryByPath(const WideString& path) {
  // The DLL's own imports come from its folder and the system folder, never
  // from the current folder.
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const bool default_directories = GetProcAddress(kernel32, "SetDefaultDllDirectories") != nullptr;
  return LoadLibraryExW(path.c_str(), nullptr,
                        default_directories
                            ? kLoadLibrarySearchDllLoadDir | kLoadLibrarySearchSystem32
                            : LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Whether `hive` is another machine's, from ConnectRegistry, rather than one
// of the system's predefined keys.
bool OtherMachine(std::uint32_t hive) { return (hive & 0xFFFFFF00u) != 0x80000000u; }

// After a registry call on `hive` that did not succeed, with the reason in
// the thread's last error: "not there" and a value of another type are
// answers; on another machine anything else means that it is lost (switched
// off, gone from the network, refusing a key), and throws MachineLost. A
// library that tells no reason (0) only ever answers.
void Answered(std::uint32_t hive) {
  const DWORD error = GetLastError();
  if (!OtherMachine(hive) || error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ||
      error == ERROR_PATH_NOT_FOUND || error == ERROR_UNSUPPORTED_TYPE) {
    return;
  }
  throw MachineLost(static_cast<long>(error), ErrorText(error));
}

// The pointer type of each function, by its index in the table, so that a
// function is always called through its own type.
template <T9Index index>
struct PointerOf;
#define T9_POINTER_OF(bound, result, name, parameters) \
  template <>                                          \
  struct PointerOf<T9Index_##name> {                   \
    using Type = T9##name##Fn;                         \
  };
T9_FUNCTIONS(T9_POINTER_OF)
#undef T9_POINTER_OF

// Where the library may be: in the folders of LibraryFolders, in order. A
// name with a folder in it is taken as it is.
std::vector<WideString> Candidates(const std::string& file_name) {
  const WideString name = WideFromAnsi(file_name);
  if (file_name.find_first_of("\\/:") != std::string::npos) return {name};
  std::vector<WideString> candidates;
  for (const WideString& folder :
       LibraryFolders(ProgramPath(), SystemFolder(), WindowsFolder(), Environment(L"PATH"))) {
    candidates.push_back(folder + name);
  }
  return candidates;
}

// A critical section held for a scope. The binding's own: the program is
// built without the C++ library's threads, and Windows 2000 has no slim locks.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  class Hold {
   public:
    explicit Hold(CriticalSection& c) : section_(c.section_) { EnterCriticalSection(&section_); }
    ~Hold() { LeaveCriticalSection(&section_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    CRITICAL_SECTION& section_;
  };

 private:
  CRITICAL_SECTION section_;
};

class Tamarak9Binding : public Support {
 public:
  explicit Tamarak9Binding(std::string file_name) : file_name_(std::move(file_name)) {}

  std::int32_t LibVersion() override { return Get<T9Index_LibVersion>()(); }

  bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                             std::int32_t& value) override {
    std::int32_t read = 0;
    const auto fn = Get<T9Index_ReadDWORDFromRegistry>();
    SetLastError(ERROR_SUCCESS);
    if (fn(hive, key.c_str(), name.c_str(), &read) == 0) return Answered(hive), false;
    value = read;
    return true;
  }

  std::string ReadStringFromRegistry(std::uint32_t hive, const std::string& key,
                                     const std::string& name) override {
    const auto fn = Get<T9Index_ReadStringFromRegistry>();
    SetLastError(ERROR_SUCCESS);
    std::uint32_t needed = fn(hive, key.c_str(), name.c_str(), nullptr, 0);
    if (needed == 0) Answered(hive);
    // The value may grow between the size query and the read: ask again.
    for (int attempt = 0; attempt < tamarak9::kStringReadAttempts && needed != 0; ++attempt) {
      std::vector<char> buffer(needed);
      SetLastError(ERROR_SUCCESS);
      const std::uint32_t got = fn(hive, key.c_str(), name.c_str(), buffer.data(), needed);
      if (got == 0) return Answered(hive), std::string();
      if (got <= needed) return std::string(buffer.data(), got - 1);
      needed = got;
    }
    return {};
  }

  bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                            std::int32_t value) override {
    const auto fn = Get<T9Index_WriteDWORDToRegistry>();
    SetLastError(ERROR_SUCCESS);
    if (fn(hive, key.c_str(), name.c_str(), value) != 0) return true;
    Answered(hive);
    return false;
  }

  bool KeyExists(std::uint32_t hive, const std::string& key) override {
    const auto fn = Get<T9Index_KeyExists>();
    SetLastError(ERROR_SUCCESS);
    // Nonzero for a key that opened, and for one that failed otherwise
    // than "not there", which the last error tells.
    if (fn(hive, key.c_str()) == 0) return false;
    Answered(hive);
    return true;
  }

  std::uint32_t ConnectRegistry(const std::string& machine) override {
    std::uint32_t hive = 0;
    const std::int32_t error = Get<T9Index_ConnectRegistry>()(machine.c_str(), &hive);
    if (error != 0) throw SystemError(static_cast<unsigned long>(error));
    return hive;
  }

  void DisconnectRegistry(std::uint32_t hive) override {
    const std::int32_t error = Get<T9Index_DisconnectRegistry>()(hive);
    if (error != 0) throw SystemError(static_cast<unsigned long>(error));
  }

  void ShellRun(const std::string& address) override { Get<T9Index_ShellRun>()(address.c_str()); }

  std::vector<std::string> GetArgs(const std::string& text) override {
    const auto fn = Get<T9Index_GetArgs>();
    std::uint32_t needed = 0;
    std::int16_t count = fn(text.c_str(), nullptr, 0, &needed);
    if (count < 0) throw RunError(classic_error::kOverflow, "Overflow");
    if (count == 0 || needed == 0) return {};
    std::vector<char> buffer(needed);
    std::uint32_t filled = 0;
    count = fn(text.c_str(), buffer.data(), needed, &filled);
    if (count < 0) throw RunError(classic_error::kOverflow, "Overflow");
    std::vector<std::string> items;
    // The items follow one another, each with its NUL.
    const char* p = buffer.data();
    const char* end = p + (filled < needed ? filled : needed);
    while (p < end && static_cast<int>(items.size()) < count) {
      const char* nul = p;
      while (nul < end && *nul != '\0') ++nul;
      items.emplace_back(p, nul);
      p = nul + 1;
    }
    return items;
  }

  void OpenConsole() override { Get<T9Index_OpenConsole>()(); }
  bool ConsoleOpen() override { return Get<T9Index_ConsoleOpen>()() != 0; }
  void CloseConsole() override { Get<T9Index_CloseConsole>()(); }
  void SetConsoleAttributes(std::int32_t foreground, std::int32_t background) override {
    Get<T9Index_SetConsoleAttributes>()(foreground, background);
  }
  void ClearConsoleAttributes() override { Get<T9Index_ClearConsoleAttributes>()(); }
  void Writes(const std::string& text) override { Get<T9Index_Writes>()(text.c_str()); }
  bool WriteLn(const std::string& text) override {
    return Get<T9Index_WriteLn>()(text.c_str()) != 0;
  }
  bool WriteErrLn(const std::string& text) override {
    return Get<T9Index_WriteErrLn>()(text.c_str()) != 0;
  }
  bool WriteErrProgress(const std::string& text) override {
    return Get<T9Index_WriteErrProgress>()(text.c_str()) != 0;
  }
  bool InNativeConsole() override { return Get<T9Index_InNativeConsole>()() != 0; }
  void Pause(const std::string& prompt) override { Get<T9Index_Pause>()(prompt.c_str()); }

 private:
  // Under resolving_.
  HMODULE Load() {
    if (module_.get() != nullptr) return module_.get();
    HMODULE handle = nullptr;
    DWORD error = ERROR_MOD_NOT_FOUND;
    // The first place that has the file is the one: that file is loaded by
    // its full path, or nothing is.
    for (const WideString& path : Candidates(file_name_)) {
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        continue;
      handle = LoadLibraryByPath(path);
      error = GetLastError();
      break;
    }
    // Not remembered: the next call tries again.
    if (handle == nullptr) ThrowCannotLoad(file_name_, error);
    module_.reset(handle);
    return handle;
  }

  // The function `index` of the table, looked up at its first call.
  template <T9Index index>
  typename PointerOf<index>::Type Get() {
    static_assert(t9_functions[index].bound, "a function the program binds is marked T9_BOUND");
    return reinterpret_cast<typename PointerOf<index>::Type>(Resolve(index));
  }

  // Several threads may make a function's first call at once. A function
  // resolved is published with one interlocked store and read with one
  // interlocked load, so every later call takes no lock; the load and the
  // lookups are made under `resolving_`, which also guards module_.
  void* Resolve(T9Index index) {
    void** const slot = &functions_[index];
    if (void* const known = InterlockedCompareExchangePointer(slot, nullptr, nullptr)) return known;
    const CriticalSection::Hold hold(resolving_);
    if (*slot != nullptr) return *slot;
    const char* const name = t9_functions[index].name;
    void* const function = GetFunction<void*>(Load(), name);
    const DWORD error = GetLastError();
    if (function == nullptr) {
      throw RunError(error != 0 ? static_cast<long>(error) : classic_error::kEntryPointMissing,
                     std::string("Entry point ") + name + " not found in " + file_name_);
    }
    InterlockedExchangePointer(slot, function);
    return function;
  }

  std::string file_name_;
  CriticalSection resolving_;
  UniqueModule module_;  // under resolving_
  // Shared by the threads that call: each read and written interlocked.
  void* functions_[T9_FUNCTION_COUNT] = {};
};

}  // namespace

std::unique_ptr<Support> MakeTamarak9Binding(const char* file_name) {
  return std::make_unique<Tamarak9Binding>(file_name != nullptr ? file_name : KESTRAD_LIBRARY);
}

}  // namespace kestrad
