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
// Threads may make their first calls at once; a failed load is tried again
// at the next call.
std::unique_ptr<Support> MakeTamarak9Binding(const char* file_name = KESTRAD_LIBRARY);

}  // namespace kestrad
