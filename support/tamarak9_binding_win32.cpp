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

// One entry point: its name and the pointer once resolved.
template <typename Fn>
struct Entry {
  const char* name;
  Fn fn = nullptr;
};

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

class Tamarak9Binding : public Support {
 public:
  explicit Tamarak9Binding(std::string file_name) : file_name_(std::move(file_name)) {}

  std::int32_t LibVersion() override { return Get(lib_version_)(); }

  bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                             std::int32_t& value) override {
    std::int32_t read = 0;
    if (Get(read_dword_)(hive, key.c_str(), name.c_str(), &read) == 0) return false;
    value = read;
    return true;
  }

  std::string ReadStringFromRegistry(std::uint32_t hive, const std::string& key,
                                     const std::string& name) override {
    const auto fn = Get(read_string_);
    std::uint32_t needed = fn(hive, key.c_str(), name.c_str(), nullptr, 0);
    // The value may grow between the size query and the read: ask again.
    for (int attempt = 0; attempt < tamarak9::kStringReadAttempts && needed != 0; ++attempt) {
      std::vector<char> buffer(needed);
      const std::uint32_t got = fn(hive, key.c_str(), name.c_str(), buffer.data(), needed);
      if (got == 0) return {};
      if (got <= needed) return std::string(buffer.data(), got - 1);
      needed = got;
    }
    return {};
  }

  bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                            std::int32_t value) override {
    return Get(write_dword_)(hive, key.c_str(), name.c_str(), value) != 0;
  }

  bool KeyExists(std::uint32_t hive, const std::string& key) override {
    return Get(key_exists_)(hive, key.c_str()) != 0;
  }

  std::uint32_t ConnectRegistry(const std::string& machine) override {
    std::uint32_t hive = 0;
    const std::int32_t error = Get(connect_registry_)(machine.c_str(), &hive);
    if (error != 0) throw RunError(error, ErrorText(static_cast<unsigned long>(error)));
    return hive;
  }

  void ShellRun(const std::string& address) override { Get(shell_run_)(address.c_str()); }

  std::vector<std::string> GetArgs(const std::string& text) override {
    const auto fn = Get(get_args_);
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

  void OpenConsole() override { Get(open_console_)(); }
  bool ConsoleOpen() override { return Get(console_open_)() != 0; }
  void CloseConsole() override { Get(close_console_)(); }
  void SetConsoleAttributes(std::int32_t foreground, std::int32_t background) override {
    Get(set_attributes_)(foreground, background);
  }
  void ClearConsoleAttributes() override { Get(clear_attributes_)(); }
  void Writes(const std::string& text) override { Get(writes_)(text.c_str()); }
  bool WriteLn(const std::string& text) override { return Get(write_ln_)(text.c_str()) != 0; }
  bool WriteErrLn(const std::string& text) override {
    return Get(write_err_ln_)(text.c_str()) != 0;
  }
  bool InNativeConsole() override { return Get(in_native_console_)() != 0; }
  void Pause(const std::string& prompt) override { Get(pause_)(prompt.c_str()); }

 private:
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

  template <typename Fn>
  Fn Get(Entry<Fn>& entry) {
    if (entry.fn != nullptr) return entry.fn;
    const Fn fn = GetFunction<Fn>(Load(), entry.name);
    const DWORD error = GetLastError();
    if (fn == nullptr) {
      throw RunError(error != 0 ? static_cast<long>(error) : classic_error::kEntryPointMissing,
                     std::string("Entry point ") + entry.name + " not found in " + file_name_);
    }
    entry.fn = fn;
    return entry.fn;
  }

  std::string file_name_;
  UniqueModule module_;
  Entry<T9LibVersionFn> lib_version_{"LibVersion"};
  Entry<T9ReadDWORDFromRegistryFn> read_dword_{"ReadDWORDFromRegistry"};
  Entry<T9ReadStringFromRegistryFn> read_string_{"ReadStringFromRegistry"};
  Entry<T9WriteDWORDToRegistryFn> write_dword_{"WriteDWORDToRegistry"};
  Entry<T9KeyExistsFn> key_exists_{"KeyExists"};
  Entry<T9ConnectRegistryFn> connect_registry_{"ConnectRegistry"};
  Entry<T9ShellRunFn> shell_run_{"ShellRun"};
  Entry<T9GetArgsFn> get_args_{"GetArgs"};
  Entry<T9OpenConsoleFn> open_console_{"OpenConsole"};
  Entry<T9ConsoleOpenFn> console_open_{"ConsoleOpen"};
  Entry<T9CloseConsoleFn> close_console_{"CloseConsole"};
  Entry<T9SetConsoleAttributesFn> set_attributes_{"SetConsoleAttributes"};
  Entry<T9ClearConsoleAttributesFn> clear_attributes_{"ClearConsoleAttributes"};
  Entry<T9WritesFn> writes_{"Writes"};
  Entry<T9WriteLnFn> write_ln_{"WriteLn"};
  Entry<T9WriteErrLnFn> write_err_ln_{"WriteErrLn"};
  Entry<T9InNativeConsoleFn> in_native_console_{"InNativeConsole"};
  Entry<T9PauseFn> pause_{"Pause"};
};

}  // namespace

std::unique_ptr<Support> MakeTamarak9Binding(const char* file_name) {
  return std::make_unique<Tamarak9Binding>(file_name != nullptr ? file_name : KESTRAD_LIBRARY);
}

}  // namespace kestrad
