// The program's entry: library check, switches and the road taken.
#pragma once

#include "app/platform.h"
#include "check/channel_window.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

// True when the support library answers its first call.
bool IsDLLInstalled(Support& support, EventLog& log);

// Runs the start-up. Returns when the road it took is done; a loaded window
// then keeps the program alive.
void Main(Support& support, EventLog& log, Platform& platform, WindowRef& form);

}  // namespace kestrad
