// The usage screen printed for "/H" or "/?".
#pragma once

#include <string>

#include "common/error_trap.h"
#include "support/support.h"

namespace kestrad {

// The banner, written without a line end in the banner colours.
std::string UsageBanner();

// Prints the usage screen through the support library. Each call is one
// step of the caller's trap. Without `may_pause` (a script's run) it never
// waits for a key, whatever the console.
void ShowUsage(Support& support, ErrorTrap& trap, bool may_pause);

}  // namespace kestrad
