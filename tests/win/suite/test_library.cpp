#include "test_library.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "program_config.h"

namespace kestrad_test {

namespace {

std::string RequiredEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) + " is not set (run the suites through CTest)");
  }
  return ToWindowsPath(value);
}

}  // namespace

std::string ToWindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

std::string LibraryPath() { return RequiredEnvironment("KESTRAD_BIN_DIR") + "\\" KESTRAD_LIBRARY; }

std::string FixturePath(const std::string& entry_point) {
  return RequiredEnvironment("KESTRAD_FIXTURES_DIR") + "\\no_" + entry_point + "\\" KESTRAD_LIBRARY;
}

Library::Library(const std::string& path) : module_(LoadLibraryA(path.c_str())) {
  if (!module_) {
    throw std::runtime_error("cannot load " + path + ", error " + std::to_string(GetLastError()));
  }
}

namespace {

void WriteSlot(ULONG_PTR* slot, ULONG_PTR value) {
  DWORD old = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

ImportPatch::ImportPatch(HMODULE library, const char* function, const void* replacement) {
  BYTE* base = reinterpret_cast<BYTE*>(library);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0 && slot_ == nullptr; ++d) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
          std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                      function) == 0) {
        slot_ = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
        break;
      }
    }
  }
  if (slot_ == nullptr) return;
  original_ = *slot_;
  WriteSlot(slot_, reinterpret_cast<ULONG_PTR>(replacement));
}

ImportPatch::~ImportPatch() {
  if (slot_ != nullptr) WriteSlot(slot_, original_);
}

ScratchKey::ScratchKey()
    : path_("Software\\KestradTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount())) {
  SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key_.put(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create " + path_);
  }
}

ScratchKey::~ScratchKey() {
  key_.reset();
  SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  // Leave no empty parent behind either; fails harmlessly when shared.
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KestradTest");
}

void ScratchKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  if (RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data), bytes) !=
      ERROR_SUCCESS) {
    throw std::runtime_error("cannot set a value under " + path_);
  }
}

}  // namespace kestrad_test
