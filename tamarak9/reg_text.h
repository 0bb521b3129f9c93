// The text of a registry string value as a string of UTF-16 code units, for
// the fuzz target and tests: the text the library measures with
// RegTextLength (reg_text_core.h), decoded unit by unit.
#pragma once

#include <cstddef>
#include <string>

#include "tamarak9/reg_text_core.h"

namespace tamarak9 {

// For any character type of at least 16 bits: the library reads with
// wchar_t, the fuzz target with char16_t.
template <typename Char>
std::basic_string<Char> RegBytesToText(const unsigned char* data, std::size_t bytes) {
  static_assert(sizeof(Char) >= 2, "a UTF-16 code unit needs two bytes");
  const std::size_t length = RegTextLength(data, bytes);
  std::basic_string<Char> text(length, Char(0));
  for (std::size_t i = 0; i < length; ++i) {
    text[i] = static_cast<Char>(static_cast<unsigned>(data[2 * i]) |
                                (static_cast<unsigned>(data[2 * i + 1]) << 8));
  }
  return text;
}

}  // namespace tamarak9
