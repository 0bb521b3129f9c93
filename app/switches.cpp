#include "app/switches.h"

#include <utility>

#include "app/command_line.h"

namespace kestrad {

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool ParseSwitch(std::string& item, Switches& switches) {
  if (!item.empty() && item[0] == '-') item[0] = '/';
  item = AsciiUpper(std::move(item));
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

namespace {

// The name after "/S", without its leading "\\"; false when it is none.
// An item that starts as a switch does is not a name: "/S" lacks its own.
bool MachineName(const std::string& item, std::string& name) {
  if (item.empty() || item[0] == '/' || item[0] == '-') return false;
  const std::string bare = item.rfind("\\\\", 0) == 0 ? item.substr(2) : item;
  if (bare.empty() || bare.size() > kMachineNameMax ||
      bare.find_first_of(" \t\\") != std::string::npos) {
    return false;
  }
  name = bare;
  return true;
}

}  // namespace

Switches ParseSwitches(std::vector<std::string>& items) {
  Switches switches;
  const auto stray = [&](const std::string& typed) {
    if (switches.stray) return;
    switches.stray = true;
    switches.stray_item = typed;
  };
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string typed = items[i];
    std::string& item = items[i];
    if (ParseSwitch(item, switches)) continue;
    if (item != "/S" || switches.remote) {
      stray(typed);
      continue;
    }
    // "/S" asks for another machine whatever follows it: without a name it
    // is still a script's run, and is refused.
    switches.remote = true;
    if (i + 1 == items.size()) {
      stray(typed);
      continue;
    }
    const std::string& next = items[i + 1];
    if (MachineName(next, switches.machine)) {
      ++i;
    } else if (!next.empty() && (next[0] == '/' || next[0] == '-')) {
      stray(typed);
    } else {
      stray(next);
      ++i;
    }
  }
  return switches;
}

Switches SwitchesOfText(const std::string& text) {
  std::vector<std::string> items = SplitArguments(text);
  return ParseSwitches(items);
}

}  // namespace kestrad
