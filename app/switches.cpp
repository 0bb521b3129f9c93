#include "app/switches.h"

#include <algorithm>
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
  const std::string typed = item;
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
    if (switches.no_header_item.empty()) switches.no_header_item = typed;
  } else {
    return false;
  }
  return true;
}

// An item that starts as a switch does is not a name: "/S" lacks its own.
// Nor is a bare IPv6 address, which no UNC path takes: its colons stand
// for dashes in Windows' ipv6-literal.net name.
bool MachineName(const std::string& item, std::string& name) {
  if (item.empty() || item[0] == '/' || item[0] == '-') return false;
  const std::string bare = item.rfind("\\\\", 0) == 0 ? item.substr(2) : item;
  if (bare.empty() || bare.size() > kMachineNameMax ||
      bare.find_first_of(" \t\\:") != std::string::npos ||
      std::any_of(bare.begin(), bare.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return false;
  }
  name = bare;
  return true;
}

namespace {

// The length of the prefix at `at` ("/", "-" or a dash's bytes); 0: none.
std::size_t PrefixAt(const std::string& item, std::size_t at,
                     const std::vector<std::string>& dashes) {
  if (item[at] == '/' || item[at] == '-') return 1;
  for (const std::string& dash : dashes) {
    if (!dash.empty() && item.compare(at, dash.size(), dash) == 0) return dash.size();
  }
  return 0;
}

// A letter or digit, for where a switch's name ends. A byte above 0x7F may
// be a letter of the code page: it continues a name too.
bool Continues(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u > 0x7F;
}

}  // namespace

bool HoldsScriptSwitch(const std::string& item, const std::vector<std::string>& dashes) {
  static constexpr const char* kNames[] = {"QUIET", "FIX", "REPORT", "NH", "S"};
  const std::string upper = AsciiUpper(item);
  for (std::size_t at = 0; at < upper.size(); ++at) {
    const std::size_t prefix = PrefixAt(upper, at, dashes);
    if (prefix == 0) continue;
    const std::size_t from = at + prefix;
    for (const char* name : kNames) {
      const std::string n = name;
      if (upper.compare(from, n.size(), n) != 0) continue;
      const std::size_t end = from + n.size();
      if (end == upper.size() || (PrefixAt(upper, end, dashes) != 0 || !Continues(upper[end]))) {
        return true;
      }
    }
  }
  return false;
}

Switches ParseSwitches(std::vector<std::string>& items, const std::vector<std::string>& dashes) {
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
      if (HoldsScriptSwitch(typed, dashes)) switches.scripted = true;
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
    if (!next.empty() && (next[0] == '@' || next.find(',') != std::string::npos)) {
      // A list of machines: read, and each name checked, before any is touched.
      switches.machine_list = true;
      switches.machine = next;
      ++i;
    } else if (MachineName(next, switches.machine)) {
      ++i;
    } else if (!next.empty() && (next[0] == '/' || next[0] == '-')) {
      stray(typed);
    } else {
      stray(next);
      ++i;
    }
  }
  // The header is the inventory's and a list's alone.
  if (switches.no_header && !switches.report && !switches.machine_list)
    stray(switches.no_header_item);
  return switches;
}

Switches SwitchesOfText(const std::string& text, const std::vector<std::string>& dashes) {
  std::vector<std::string> items = SplitArguments(text);
  return ParseSwitches(items, dashes);
}

}  // namespace kestrad
