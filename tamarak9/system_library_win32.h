// DLLs of the system folder and functions of loaded DLLs, found by the
// library at run time.
#pragma once

#include <windows.h>

namespace tamarak9 {

// Loads `file_name` from the system folder by its full path, never by a
// search, and takes a reference it never gives back. Null when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* file_name);

// The address of `name` in `module` as a function pointer of type Fn.
template <typename Fn>
Fn GetFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace tamarak9
