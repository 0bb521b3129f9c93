// A change to the whole process, made once, first thing in main.
#pragma once

namespace kestrad {

// Takes the current folder out of the DLL search, for the whole process:
// DLLs loaded by name come from the system folder where the system allows it
// (SetDefaultDllDirectories, SetDllDirectoryA, looked up at run time), and
// the process's current folder becomes the system folder everywhere.
void HardenProcessSearchPaths();

}  // namespace kestrad
