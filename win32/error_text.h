// A Win32 error code as the text a person reads, the same wherever it
// happened.
#pragma once

#include <string>

#include "common/run_error.h"

namespace kestrad {

// The system's message for `code` without its trailing line break and full
// stop, or "System error <code>" when the system has none.
std::string ErrorText(unsigned long code);

// The failure of a system call that gave `code`, as error traps report it.
RunError SystemError(unsigned long code);

}  // namespace kestrad
