#include "app/process_search_paths_win32.h"

#include <windows.h>

#include "win32/system_library.h"

namespace kestrad {

void HardenProcessSearchPaths() {
  // Where the system has them (Windows 7 with KB2533623, 8 and later; XP
  // SP1): DLLs that are loaded by name come from the system folder only, and
  // not from the current folder.
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  const auto set_default =
      GetFunction<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories");
  const auto set_dll_directory = GetFunction<SetDllDirectoryFn>(kernel32, "SetDllDirectoryA");
  if (set_default != nullptr) set_default(kLoadLibrarySearchSystem32);
  if (set_dll_directory != nullptr) set_dll_directory("");
  // Everywhere, Windows 2000 included: the current folder is the system
  // folder, which the program never uses for anything else.
  wchar_t system[MAX_PATH];
  if (SystemFolderPath(system) > 0) SetCurrentDirectoryW(system);
}

}  // namespace kestrad
