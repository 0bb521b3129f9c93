// The program's entry: library check, switches and the road taken.
#pragma once

#include "app/platform.h"
#include "check/channel_window.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

// True when the support library answers its first call.
bool IsDLLInstalled(Support& support, EventLog& log);

// The program's exit code, for scripts: what the boot-time check found.
enum ExitCode {
  kDmaInUse = 0,      // DMA on both channels, or no check ran (the window, "/H")
  kDmaOff = 1,        // DMA switched off on at least one channel
  kNothingRead = 2,   // neither channel's DMAEnabled could be read
  kNoLibrary = 3,     // the support library is missing
};

// Runs the start-up. Returns the exit code when the road it took is done; a
// loaded window then keeps the program alive, and the code is the
// program's when the window closes.
int Main(Support& support, EventLog& log, Platform& platform, WindowRef& form);

}  // namespace kestrad
