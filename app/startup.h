// The program's entry: library check, switches and the road taken.
#pragma once

#include "app/platform.h"
#include "app/unattended.h"
#include "check/channel_check.h"
#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1.h"

namespace kestrad {

// True when the support library answers its first call.
bool IsDLLInstalled(Support& support, EventLog& log);

// The program's exit code, for scripts.
enum class ExitCode {
  NoCheck = 0,       // no check ran: the window without "/CHECK", or "/H"
  DmaInUse = 0,      // the check found DMA on both channels
  DmaOff = 1,        // ... DMA switched off on at least one channel
  NothingRead = 2,   // ... neither channel's DMAEnabled could be read
  NoLibrary = 3,     // the support library is missing or unusable
  Repaired = 4,      // "/FIX" wrote the repair: a reboot is needed
  RepairFailed = 5,  // "/FIX" could not write a repair that was needed
  ReportFailed = 6,  // "/REPORT" could not write all its lines
  NotRun = 7,        // an unattended run refused its command line
  Unreachable = 8,   // "/S": the other machine could not be reached
};

// The exit code of a check with this verdict ("/CHECK", "/REPORT"), and of
// "/FIX", whose check found `verdict` and whose repair came to `outcome`.
ExitCode CheckExitCode(Verdict verdict);
ExitCode FixExitCode(Verdict verdict, RepairOutcome outcome);

// Runs the start-up. Returns the exit code when the road it took is done; a
// loaded window then keeps the program alive, and the code is the
// program's when the window closes.
ExitCode Main(Support& support, EventLog& log, Platform& platform, Form1& form);

}  // namespace kestrad
