// Finding and loading the product's DLLs from the Windows-side suites.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "tamarak9/tamarak9.h"
#include "win32/unique_handle.h"

namespace kestrad_test {

// HKEY_CURRENT_USER as it crosses the library's interface.
constexpr uint32_t kHiveCurrentUser = 0x80000001u;

// A Unix path (as CTest passes it) as Wine's Z: path; others unchanged.
std::string ToWindowsPath(const std::string& path);
// $KESTRAD_BIN_DIR\tamarak9.dll, and the fixture lacking `entry_point`.
std::string LibraryPath();
std::string FixturePath(const std::string& entry_point);

// A loaded library, freed on destruction.
class Library {
 public:
  explicit Library(const std::string& path);

  HMODULE get() const { return module_.get(); }
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

 private:
  kestrad::UniqueModule module_;
};

// Points the library's import of `function` at `replacement` while it
// lives, as a system without the function, or with another one, would look
// to it. patched() is false when the library does not import `function`.
class ImportPatch {
 public:
  ImportPatch(HMODULE library, const char* function, const void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool patched() const { return slot_ != nullptr; }

 private:
  ULONG_PTR* slot_ = nullptr;
  ULONG_PTR original_ = 0;
};

// A scratch key HKEY_CURRENT_USER\Software\KestradTest\<unique>: deleted
// before and after use.
class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  const std::string& path() const { return path_; }
  HKEY get() const { return key_.get(); }
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes);

 private:
  std::string path_;
  kestrad::UniqueKey key_;
};

}  // namespace kestrad_test
