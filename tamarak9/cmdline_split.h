// The argument splitter with its items as strings, for the platform-neutral
// code, its tests and the fuzz target. The splitting itself, and the rules it
// follows, are in cmdline_split_core.h, which the support library streams
// with: whatever these tests prove, they prove of the library's code.
#pragma once

#include <string>
#include <vector>

namespace tamarak9 {

std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace tamarak9
