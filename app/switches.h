// The command-line switches of the start-up.
#pragma once

#include <string>
#include <vector>

namespace kestrad {

struct Switches {
  bool check = false;      // "/CHECK": the boot-time check
  bool debug = false;      // "/DEBUG": take the warning road whatever the check finds
  bool log = false;        // "/LOG": note a passed check in the event log too
  bool help = false;       // "/H" or "/?": the usage screen
  bool quiet = false;      // "/QUIET": with "/CHECK", show nothing and end at once
  bool fix = false;        // "/FIX": the check as "/CHECK /QUIET", then the repair
  bool report = false;     // "/REPORT": one CSV line per channel on standard output
  bool no_header = false;  // "/NH": the report without its header line
};

// Normalises one item in place ("-" for "/" as first character, upper case)
// and sets the flag it names. Anything else is ignored without a message.
void ParseSwitch(std::string& item, Switches& switches);

Switches ParseSwitches(std::vector<std::string>& items);

}  // namespace kestrad
