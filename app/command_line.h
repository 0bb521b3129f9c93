// The argument text of a Windows command line.
#pragma once

#include <string>

namespace kestrad {

// The command line without the program's own path and the blanks after it.
// The program name is delimited the way the system delimits it: when it
// starts with a quote, by the closing quote (the arguments may follow at
// once), otherwise by the first blank.
std::string ArgumentText(const std::string& command_line);

}  // namespace kestrad
