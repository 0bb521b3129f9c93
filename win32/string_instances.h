// Included first in every C++ file of the program (CMakeLists.txt).
//
// libstdc++ declares its std::string members as instantiated in the
// library, so every use links the one object that holds all of them: about
// 33 KiB of the i686 program, most of which nothing calls. Without those
// declarations (the library's own switch for std::string alone, -1) each
// member is instantiated where it is used, and the linker keeps only those.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
