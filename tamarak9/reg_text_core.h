// The text of a registry string value, from the bytes the registry holds.
// Platform-neutral, header-only and free of allocation: the library measures
// the text in the buffer it read into.
#pragma once

#include <cstddef>

namespace tamarak9 {

// How often a string value is read again when it grew between the size query
// and the read: by the library, and by the program reading through it.
inline constexpr int kStringReadAttempts = 8;

// The registry keeps REG_SZ and REG_EXPAND_SZ data as UTF-16LE code units,
// but nothing makes a writer end them with a NUL, stop at one, or store an
// even number of bytes. The text is the code units up to the first NUL (or
// all of them); an odd last byte is half a unit and is dropped. Returns the
// text's length in code units. `data` may be null when `bytes` is 0.
inline std::size_t RegTextLength(const unsigned char* data, std::size_t bytes) {
  const std::size_t units = bytes / 2;
  std::size_t length = 0;
  while (length < units && (data[2 * length] != 0 || data[2 * length + 1] != 0)) ++length;
  return length;
}

}  // namespace tamarak9
