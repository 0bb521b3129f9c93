#include "tamarak9/cmdline_split.h"

namespace tamarak9 {

std::vector<std::string> SplitArguments(const std::string& text) { return SplitArgumentsOf(text); }

}  // namespace tamarak9
