// The program's entry: library check, switches and the road taken.
#pragma once

#include <string>

#include "app/platform.h"
#include "app/switches.h"
#include "app/unattended.h"
#include "check/channel_check.h"
#include "common/error_trap.h"
#include "common/event_log.h"
#include "common/program.h"
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

// The hint after a refusal or an unreachable machine.
inline constexpr char kUsageHint[] = "Type \"" KESTRAD_NAME " /?\" for usage.";

// A script's run that refuses to do anything: "ERROR: " + `error` and the
// usage hint on standard error, an Error entry 1005 with `reason`; exit
// code 7.
ExitCode Refuse(const std::string& error, const std::string& reason, Support& support,
                EventLog& log, ErrorTrap& trap);

// What one machine's "/S" road came to: its exit code, and the last failure
// said of it (why it could not be reached, why its repair failed).
struct MachineOutcome {
  ExitCode code = ExitCode::DmaInUse;
  std::string why;
};

// The road of "/S" for the machine `name`, as a run for it alone takes it:
// connected, checked, repaired or inventoried, and ended as unreachable when
// it cannot be reached or stops answering. `in_list`: one machine of a
// list, whose usage hint the list gives once, and whose connection is
// freed at the end.
MachineOutcome MachineRoad(const Switches& switches, const std::string& name, Support& support,
                           EventLog& log, Platform& platform, Form1& form, ErrorTrap& trap,
                           bool in_list);

// Runs the start-up. Returns the exit code when the road it took is done; a
// loaded window then keeps the program alive, and the code is the
// program's when the window closes.
ExitCode Main(Support& support, EventLog& log, Platform& platform, Form1& form);

}  // namespace kestrad
