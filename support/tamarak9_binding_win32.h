// The run-time binding to tamarak9.dll.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "program_config.h"
#include "support/support.h"

namespace kestrad {

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
std::wstring SystemFolder();

// Loads a DLL by its full path; its own imports come from its folder and the
// system folder.
HMODULE LoadLibraryByPath(const std::wstring& path);

}  // namespace kestrad
