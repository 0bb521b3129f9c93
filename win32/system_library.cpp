#include "win32/system_library.h"

#include <cwchar>

namespace kestrad {

UINT SystemFolderPath(wchar_t* path) {
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  // 0 is a failure; MAX_PATH or more is the size a larger buffer would need.
  return length < MAX_PATH ? length : 0;
}

HMODULE LoadSystemLibrary(const wchar_t* file_name) {
  const std::size_t name_length = std::wcslen(file_name);
  if (name_length > MAX_PATH) return SetLastError(ERROR_FILENAME_EXCED_RANGE), nullptr;
  wchar_t path[2 * MAX_PATH + 2];
  const UINT length = SystemFolderPath(path);
  if (length == 0) return SetLastError(0), nullptr;
  path[length] = L'\\';
  std::wmemcpy(path + length + 1, file_name, name_length + 1);
  // The DLL's own imports come from its folder, the system folder.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace kestrad
