// How a transcript writes a text on one line: \\, \r, \n, and \xNN for any
// other byte outside printable ASCII. The unit runner and the end-to-end
// helper both write texts this way.
#pragma once

#include <string>

namespace kestrad::testing {

inline std::string TranscriptText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c < 0x20 || c >= 0x7F)
      out += std::string("\\x") + "0123456789abcdef"[c >> 4] + "0123456789abcdef"[c & 15];
    else
      out += static_cast<char>(c);
  }
  return out;
}

}  // namespace kestrad::testing
