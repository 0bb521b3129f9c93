// One line of the inventory from any field texts: it must be one line with
// no byte below 0x20 but its CR LF, and parse back, with a CSV reader of its
// own, to exactly the cleaned fields (control bytes as spaces, an
// apostrophe before a leading = + - or @; the program's numbers as they are).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/csv_line.h"

namespace {

// RFC 4180 fields, each in quotes as the inventory writes them; false when
// the line is not such a list.
bool ParseLine(const std::string& line, std::vector<std::string>* fields) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i++] != '"') return false;
    std::string field;
    for (;; ++i) {
      if (i >= line.size()) return false;
      if (line[i] == '"' && (i + 1 >= line.size() || line[i + 1] != '"')) break;
      if (line[i] == '"') ++i;
      field += line[i];
    }
    fields->push_back(field);
    if (++i < line.size() && line[i++] != ',') return false;
    if (i == line.size() && line.back() == ',') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  kestrad::CsvLine line;
  std::vector<std::string> want;
  while (input.remaining_bytes() > 0) {
    if (input.ConsumeBool()) {
      const std::string number = std::to_string(input.ConsumeIntegral<std::int32_t>());
      line.Own(number);
      want.push_back(number);
      continue;
    }
    std::string text = input.ConsumeRandomLengthString(512);
    line.Text(text);
    for (char& c : text) c = static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'))
      text.insert(0, "'");
    want.push_back(text);
  }
  // As WriteLn writes it.
  const std::string written = line.str() + "\r\n";
  for (std::size_t i = 0; i + 2 < written.size(); ++i) {
    if (static_cast<unsigned char>(written[i]) < 0x20) std::abort();
  }
  std::vector<std::string> got;
  if (!ParseLine(line.str(), &got) || got != want) std::abort();
  return 0;
}
