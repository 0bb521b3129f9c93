#include "app/csv_line.h"

namespace kestrad {

CsvLine& CsvLine::Text(const std::string& value) {
  std::string clean = value;
  for (char& c : clean) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  if (!clean.empty() && std::string("=+-@").find(clean[0]) != std::string::npos) {
    clean.insert(0, 1, '\'');
  }
  return Own(clean);
}

CsvLine& CsvLine::Own(const std::string& value) {
  // In double quotes, a quote inside doubled.
  line_ += line_.empty() ? "\"" : ",\"";
  for (char c : value) line_ += c == '"' ? std::string("\"\"") : std::string(1, c);
  line_ += '"';
  return *this;
}

}  // namespace kestrad
