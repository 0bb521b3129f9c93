// The library's exported functions, declared from the table in tamarak9.h.
//
// A definition whose signature differs from its declaration here fails to
// compile: a function with C linkage cannot be overloaded.
//
// The library is built without C++ exceptions and without the C++ runtime
// (see CMakeLists.txt), so nothing thrown can reach the caller: every
// failure, running out of memory included, comes back as the documented
// result.
#pragma once

#include "tamarak9/tamarak9.h"

#define T9_DECLARATION(bound, result, name, parameters) result T9_CALL name parameters;
extern "C" {
T9_FUNCTIONS(T9_DECLARATION)
}
#undef T9_DECLARATION
