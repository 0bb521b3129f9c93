// DLLs of the system folder, loaded by their full path, and the functions of
// loaded DLLs, for the program and its support library alike.
#pragma once

#include <windows.h>

#include <string>

namespace kestrad {

// LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR and _SYSTEM32, newer than the headers the
// program is built against.
constexpr DWORD kLoadLibrarySearchDllLoadDir = 0x00000100;
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

// The system folder's path, NUL-terminated, in `path`, which has room for
// MAX_PATH characters, and its length; 0 when the system cannot tell it or it
// does not fit. Free of the C++ runtime.
UINT SystemFolderPath(wchar_t* path);

// Loads `file_name` from the system folder by its full path, never by a
// search, and takes a reference it never gives back. Null when it cannot,
// with the reason in GetLastError (0 when the system cannot tell its
// folder). Free of the C++ runtime: the support library uses it.
HMODULE LoadSystemLibrary(const wchar_t* file_name);

// The same for the program: throws RunError ("Cannot load <name>: <the
// system's text>") when it cannot. The window DLLs and ADVAPI32 are
// delay-loaded; a road that shows something loads them with this first, so
// that its error trap reports a failure. Defined in system_library_throw.cpp,
// which only the program links.
void RequireSystemLibrary(const wchar_t* file_name);

// Throws RunError "Cannot load <name>: <the system's text for `error`>",
// numbered `error` (or the classic "error in loading DLL" without one).
[[noreturn]] void ThrowCannotLoad(const std::string& name, unsigned long error);

// The address of `name` in `module` as a function pointer of type Fn.
template <typename Fn>
Fn GetFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace kestrad
