// What an administrator's script runs with nobody at the machine: the repair
// ("/FIX") and the inventory ("/REPORT").
#pragma once

#include <cstdint>
#include <string>

#include "app/platform.h"
#include "check/channel_check.h"
#include "common/error_trap.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

// The machine a script's run works on: this one, or with "/S" another one,
// whose registry the support library reached.
struct Machine {
  std::uint32_t hive = kHiveLocalMachine;
  std::string name;  // as given after "/S", without "\\"; empty: this machine
};

// What the repair did.
enum class RepairOutcome {
  NothingNeeded,  // every channel instance key there holds the value 1 already
  Written,        // at least one channel was written, and none failed
  Failed,         // a write that was needed failed
};

// Writes ResetErrorCountersOnSuccess = 1 into the instance key of each
// channel the check judged (`findings`), when the key exists and does not
// hold 1 already, as the Fix button writes it; never
// creates a key or touches another value. Logs an Information entry naming
// the channels written; a failed write is an Error entry through `trap`.
RepairOutcome RepairChannels(Support& support, EventLog& log, ErrorTrap& trap,
                             const Findings& findings, std::uint32_t hive);

// What the inventory came to: the verdict of the DMA values it reported, so
// the exit code agrees with them, and whether every line was written.
struct ReportOutcome {
  Verdict verdict;
  bool whole;
};

// The inventory's header line, without its line end.
std::string ReportHeader();

// Writes the inventory to standard output through the support library:
// quoted CSV (csv_line.h), a header line unless `header` is false, then one line per
// channel of `machine`, which the Computer field names: another machine as
// its registry names it, else as given, in capitals. Changes nothing; each
// read and each line is a step of `trap`. A
// line that cannot be written is an Error entry through `trap`, and no line
// is written after it, so a file that holds lines holds them in order.
ReportOutcome WriteReport(Support& support, Platform& platform, ErrorTrap& trap, bool header,
                          const Machine& machine);

}  // namespace kestrad
