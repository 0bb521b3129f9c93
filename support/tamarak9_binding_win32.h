// The run-time binding to tamarak9.dll.
#pragma once

#include <memory>

#include "program_config.h"
#include "support/support.h"

namespace kestrad {

// Loads the library by file name at the first call of any of its functions
// and resolves each function at that function's own first call. A load or
// resolve failure throws RunError naming the library or the entry point.
std::unique_ptr<Support> MakeTamarak9Binding(const char* file_name = KESTRAD_LIBRARY);

// Takes the current folder out of the library search path where the system
// allows it (SetDllDirectoryA, looked up at run time for Windows 2000).
void HardenLibrarySearchPath();

}  // namespace kestrad
