#include "app/command_line.h"

#include "tamarak9/cmdline_split_core.h"

namespace kestrad {

std::string ArgumentText(const std::string& command_line) {
  std::string::size_type i = 0;
  const auto n = command_line.size();
  if (n > 0 && command_line[0] == '"') {
    // A quoted name ends at its closing quote, whatever follows it.
    i = command_line.find('"', 1);
    i = (i == std::string::npos) ? n : i + 1;
  } else {
    while (i < n && command_line[i] != ' ' && command_line[i] != '\t') ++i;
  }
  while (i < n && (command_line[i] == ' ' || command_line[i] == '\t')) ++i;
  return command_line.substr(i);
}

namespace {

// The items as strings.
struct Items {
  std::vector<std::string> list;
  std::string item;

  void Put(char c) { item += c; }
  void EndItem() {
    list.push_back(item);
    item.clear();
  }
};

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text) {
  Items items;
  tamarak9::StreamArguments(text.data(), text.size(), items);
  return items.list;
}

}  // namespace kestrad
