// Splits an argument text the way CommandLineToArgvW splits the arguments
// that follow the program name. Platform-neutral.
#pragma once

#include <string>
#include <vector>

namespace tamarak9 {

std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace tamarak9
