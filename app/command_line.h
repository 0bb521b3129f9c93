// The argument text of a Windows command line.
#pragma once

#include <string>
#include <vector>

namespace kestrad {

// The command line without the program's own path and the blanks after it.
// The program name is delimited the way the system delimits it: when it
// starts with a quote, by the closing quote (the arguments may follow at
// once), otherwise by the first blank.
std::string ArgumentText(const std::string& command_line);

// The items of an argument text, split as the support library splits them,
// by the library's own code (tamarak9/cmdline_split_core.h): for the
// start-up when the library cannot be used, the tests and the fuzz target.
std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace kestrad
