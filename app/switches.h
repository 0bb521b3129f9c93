// The command-line switches of the start-up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrad {

struct Switches {
  bool check = false;      // "/CHECK": the boot-time check
  bool debug = false;      // "/DEBUG": take the warning road whatever the check finds
  bool log = false;        // "/LOG": note a passed check in the event log too
  bool help = false;       // "/H" or "/?": the usage screen
  bool quiet = false;      // "/QUIET": the check, showing nothing and ending at once
  bool fix = false;        // "/FIX": the check as "/CHECK /QUIET", then the repair
  bool report = false;     // "/REPORT": one CSV line per channel on standard output
  bool no_header = false;  // "/NH": the report without its header line
  // "/S MACHINE": the check, repair or inventory of another machine, through
  // its registry; `machine` is its name without a leading "\\". With
  // `machine_list`, `machine` is a list as typed: "@FILE" or names
  // separated by commas (machine_list.h reads it).
  bool remote = false;
  bool machine_list = false;
  std::string machine;
  // The first item that names no switch, as typed; `stray` tells whether
  // there was one (it may be the empty item).
  bool stray = false;
  std::string stray_item;
  // An item that is no switch but holds a script's switch ("/REPORT/NH",
  // "/FIX:", "-fix=1", "\x96FIX" with a pasted dash): a script typed it.
  bool scripted = false;
  std::string no_header_item;  // "/NH" as typed

  // A run for a script, with nobody at the machine: it never shows a box or
  // a window, and never waits for a key.
  bool Unattended() const { return quiet || fix || report || remote || no_header || scripted; }
};

// Whether `item` holds the name of a script's switch (QUIET, FIX, REPORT,
// NH, S) right after a "/", a "-" or one of `dashes` (the en and em dash in
// the ANSI code page), followed by its end or by a character that is no
// letter or digit.
bool HoldsScriptSwitch(const std::string& item, const std::vector<std::string>& dashes);

// ASCII letters in capitals; the other bytes of an ANSI text are left as
// they are rather than folded by the C locale.
std::string AsciiUpper(std::string text);

// Normalises one item in place ("-" for "/" as first character, upper case)
// and sets the flag it names. False when it names none.
bool ParseSwitch(std::string& item, Switches& switches);

// Every item's switch, and "/S" with the item after it. The first item that
// is no switch, or the machine name that is no name (a blank, a colon, a
// backslash inside, longer than kMachineNameMax), or "/S" without one, is
// `stray`; so is "/NH" without "/REPORT", when nothing else is. `dashes`:
// as for HoldsScriptSwitch.
Switches ParseSwitches(std::vector<std::string>& items,
                       const std::vector<std::string>& dashes = {});

// The name after "/S", without its leading "\\"; false when it is none
// (empty, a blank, a colon or a backslash inside, longer than
// kMachineNameMax, or starting as a switch does).
bool MachineName(const std::string& item, std::string& name);

// The longest machine name taken: a DNS name's length.
inline constexpr std::size_t kMachineNameMax = 255;

// The switches of an argument text, split as the support library splits it:
// for the start-up, when the library cannot be used.
Switches SwitchesOfText(const std::string& text, const std::vector<std::string>& dashes = {});

}  // namespace kestrad
