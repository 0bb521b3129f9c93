// The run-time binding to tamarak9.dll.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "program_config.h"
#include "support/support.h"

namespace kestrad {

// Wide text for paths. Its own traits keep the C++ library's compiled
// std::wstring, which a few path operations do not need, out of the program.
struct WideTraits : std::char_traits<wchar_t> {};
using WideString = std::basic_string<wchar_t, WideTraits>;

// Loads the library by file name at the first call of any of its functions
// and resolves each function at that function's own first call. A load or
// resolve failure throws RunError naming the library or the entry point.
std::unique_ptr<Support> MakeTamarak9Binding(const char* file_name = KESTRAD_LIBRARY);

// Takes the current folder out of the DLL search: DLLs loaded by name come
// from the system folder where the system allows it (SetDefaultDllDirectories,
// SetDllDirectoryA, looked up at run time), and the current folder becomes
// the system folder everywhere.
void HardenLibrarySearchPath();

// The system folder, empty when the system cannot tell it.
WideString SystemFolder();

// Loads a DLL by its full path; its own imports come from its folder and the
// system folder.
HMODULE LoadLibraryByPath(const WideString& path);

// Loads a DLL of the system folder by its full path, and keeps it loaded.
// False when it cannot, with the reason in GetLastError (0 when the system
// cannot tell its folder).
bool TryLoadSystemLibrary(const char* file_name);

// As TryLoadSystemLibrary, but throws RunError ("Cannot load <name>: <system
// text>") when it cannot. The window DLLs are delay-loaded; a road that
// shows something loads them with this first, so that its error trap
// reports a failure.
void LoadSystemLibrary(const char* file_name);

}  // namespace kestrad
