#include "app/command_line.h"

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

}  // namespace kestrad
