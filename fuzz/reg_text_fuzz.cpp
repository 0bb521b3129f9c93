// Registry string data as stored: any bytes, of any length, must decode
// without a fault into the text up to the first NUL.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tamarak9/reg_text.h"

namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

std::vector<unsigned char> Encode(const std::u16string& text, bool with_nul) {
  std::vector<unsigned char> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  if (with_nul) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so the sanitizer sees any read past the data.
  const std::vector<unsigned char> stored(data, data + size);
  const std::u16string text = tamarak9::RegBytesToText<char16_t>(stored.data(), stored.size());

  Require(text.size() <= size / 2, "more characters than whole units");
  Require(text.find(u'\0') == std::u16string::npos, "NUL inside the text");
  // The text is exactly the leading units: the stored bytes start with it.
  const std::vector<unsigned char> head = Encode(text, false);
  Require(std::equal(head.begin(), head.end(), stored.begin()), "text is not the stored prefix");
  // It stops at a NUL unit or at the last whole unit, nowhere else.
  const std::size_t next = head.size();
  Require(next + 1 >= size || (stored[next] == 0 && stored[next + 1] == 0),
          "stopped before the end without a NUL");

  // An odd last byte is half a unit: it changes nothing.
  if (size % 2 == 1) {
    Require(tamarak9::RegBytesToText<char16_t>(stored.data(), size - 1) == text,
            "odd last byte changed the text");
  }
  // Written back with its NUL, and whatever followed behind that, the text
  // reads the same; the wide type the library uses agrees too.
  std::vector<unsigned char> again = Encode(text, true);
  again.insert(again.end(), stored.begin() + static_cast<std::ptrdiff_t>(std::min(size, next)),
               stored.end());
  Require(tamarak9::RegBytesToText<char16_t>(again.data(), again.size()) == text,
          "round trip with NUL differs");
  const std::wstring wide = tamarak9::RegBytesToText<wchar_t>(stored.data(), stored.size());
  Require(std::u16string(wide.begin(), wide.end()) == text, "wchar_t and char16_t disagree");
  return 0;
}
