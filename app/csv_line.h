// One line of the inventory: quoted CSV fields, safe to open in a
// spreadsheet.
#pragma once

#include <string>

namespace kestrad {

class CsvLine {
 public:
  // A text from the machine (a name, a driver string). Every byte below
  // 0x20 becomes a space, so a record is exactly one line; then a text that
  // begins with = + - or @ gets an apostrophe in front, so that a
  // spreadsheet shows it as text instead of running it as a formula.
  CsvLine& Text(const std::string& value);
  // A text of the program's own: a heading, a channel, a verdict, a number
  // ("-1" stays a number).
  CsvLine& Own(const std::string& value);

  // The fields, comma-separated, without a line end.
  const std::string& str() const { return line_; }

 private:
  std::string line_;
};

}  // namespace kestrad
