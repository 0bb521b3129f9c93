// The usage screen printed for "/H" or "/?".
#pragma once

#include <string>

#include "common/error_trap.h"
#include "support/support.h"

namespace kestrad {

// The banner, written without a line end in the banner colours.
std::string UsageBanner();

// Prints the usage screen through the support library. Each call is one
// step of the caller's trap.
void ShowUsage(Support& support, ErrorTrap& trap);

}  // namespace kestrad
