// "/S" over a list of machines, "@FILE" or names separated by commas: each
// machine worked on its own road, side by side, and one table written in
// the list's order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/startup.h"
#include "app/switches.h"
#include "common/error_trap.h"
#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1.h"

namespace kestrad {

// How many machines are worked at once.
inline constexpr std::size_t kMachinesAtOnce = 32;

// A list's names, each as given without its "\\" and once (the first
// place of a name listed again in any letter case); or why the list is
// refused as a whole, as Refuse takes it.
struct MachineNames {
  std::vector<std::string> names;
  bool refused = false;
  std::string error, reason;
};
MachineNames ReadMachineNames(const std::string& list, Platform& platform);

// The result column of "/CHECK" and "/FIX" over a list: what a machine's
// exit code means, in a few words.
std::string ResultWords(const MachineOutcome& outcome);

// "/S" with a list: nothing is touched unless every name is one; a list of
// one is "/S" with that name. The exit code is the largest of the
// machines', 0 when all of them were 0.
ExitCode RunList(const Switches& switches, Support& support, EventLog& log, Platform& platform,
                 Form1& form, ErrorTrap& trap);

}  // namespace kestrad
