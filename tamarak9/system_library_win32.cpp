#include "tamarak9/system_library_win32.h"

#include <cwchar>

namespace tamarak9 {

HMODULE LoadSystemLibrary(const wchar_t* file_name) {
  const std::size_t name_length = std::wcslen(file_name);
  if (name_length > MAX_PATH) return nullptr;
  wchar_t path[2 * MAX_PATH + 2];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  // 0 is a failure; MAX_PATH or more is the size a larger buffer would need.
  if (length == 0 || length >= MAX_PATH) return nullptr;
  path[length] = L'\\';
  std::wmemcpy(path + length + 1, file_name, name_length + 1);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tamarak9
