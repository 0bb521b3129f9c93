// A Win32 error code as the text a person reads, the same wherever it
// happened.
#pragma once

#include <string>

namespace kestrad {

// The system's message for `code` without its trailing line break and full
// stop, or "System error <code>" when the system has none.
std::string ErrorText(unsigned long code);

}  // namespace kestrad
