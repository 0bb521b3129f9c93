#include "app/switches.h"

#include "app/command_line.h"

namespace kestrad {

bool ParseSwitch(std::string& item, Switches& switches) {
  if (!item.empty() && item[0] == '-') item[0] = '/';
  // Only ASCII letters matter for matching; other bytes of an ANSI text are
  // left as they are rather than folded by the C locale.
  for (char& c : item) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (item == "/CHECK") {
    switches.check = true;
  } else if (item == "/DEBUG") {
    switches.debug = true;
  } else if (item == "/LOG") {
    switches.log = true;
  } else if (item == "/H" || item == "/?") {
    switches.help = true;
  } else if (item == "/QUIET") {
    switches.quiet = true;
  } else if (item == "/FIX") {
    switches.fix = true;
  } else if (item == "/REPORT") {
    switches.report = true;
  } else if (item == "/NH") {
    switches.no_header = true;
  } else {
    return false;
  }
  return true;
}

Switches ParseSwitches(std::vector<std::string>& items) {
  Switches switches;
  for (std::string& item : items) {
    const std::string typed = item;
    if (!ParseSwitch(item, switches) && !switches.stray) {
      switches.stray = true;
      switches.stray_item = typed;
    }
  }
  return switches;
}

Switches SwitchesOfText(const std::string& text) {
  std::vector<std::string> items = SplitArguments(text);
  return ParseSwitches(items);
}

}  // namespace kestrad
