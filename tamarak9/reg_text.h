// The text of a registry string value, from the bytes the registry holds.
// Platform-neutral, header-only: the library reads with wchar_t, the fuzz
// target and tests with char16_t.
#pragma once

#include <cstddef>
#include <string>

namespace tamarak9 {

// The registry keeps REG_SZ and REG_EXPAND_SZ data as UTF-16LE code units,
// but nothing makes a writer end them with a NUL, stop at one, or store an
// even number of bytes. The text is the code units up to the first NUL (or
// all of them); an odd last byte is half a unit and is dropped. `data` may
// be null when `bytes` is 0.
template <typename Char>
std::basic_string<Char> RegBytesToText(const unsigned char* data, std::size_t bytes) {
  static_assert(sizeof(Char) >= 2, "a UTF-16 code unit needs two bytes");
  const std::size_t units = bytes / 2;
  const auto unit = [data](std::size_t i) {
    return static_cast<Char>(static_cast<unsigned>(data[2 * i]) |
                             (static_cast<unsigned>(data[2 * i + 1]) << 8));
  };
  std::size_t length = 0;
  while (length < units && unit(length) != Char(0)) ++length;
  std::basic_string<Char> text(length, Char(0));
  for (std::size_t i = 0; i < length; ++i) text[i] = unit(i);
  return text;
}

}  // namespace tamarak9
