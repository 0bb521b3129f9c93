// Registry string data as stored: any bytes, of any length, must decode
// without a fault into the text up to the first NUL.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tamarak9/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so the sanitizer sees any read past the data.
  const std::vector<unsigned char> stored(data, data + size);
  const std::u16string text = tamarak9::RegBytesToText<char16_t>(stored.data(), stored.size());
  // The text is the stored units up to the first NUL unit or the last whole one.
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == 0 || text[i] != (stored[2 * i] | stored[2 * i + 1] << 8)) std::abort();
  }
  if (2 * i + 1 < size && (stored[2 * i] != 0 || stored[2 * i + 1] != 0)) std::abort();
  return 0;
}
