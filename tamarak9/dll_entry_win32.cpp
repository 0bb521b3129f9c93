// The library's entry point, in place of the C runtime's start-up code.
//
// Loading the library costs every boot-time check, and under Wine MinGW's
// DLL start-up code (its TLS support, runtime relocations and atexit table)
// took longer than the rest of the load. The library needs none of it: it
// keeps no thread-local data, imports no data, and its globals are
// constant-initialized and trivially destroyed, so there is nothing to
// construct at attach or to destroy at detach. The test
// pe.library_has_no_static_initializers keeps it that way.
#include <windows.h>

extern "C" BOOL WINAPI Tamarak9Entry(HINSTANCE, DWORD, LPVOID) { return TRUE; }
