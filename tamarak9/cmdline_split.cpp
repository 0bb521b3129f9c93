#include "tamarak9/cmdline_split.h"

namespace tamarak9 {

namespace {

template <typename Char>
bool IsBlank(Char c) {
  return c == Char(' ') || c == Char('\t');
}

}  // namespace

template <typename Char>
std::vector<std::basic_string<Char>> SplitArgumentsOf(const std::basic_string<Char>& text) {
  const Char kQuote = Char('"');
  const Char kBackslash = Char('\\');
  std::vector<std::basic_string<Char>> items;
  std::basic_string<Char> item;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i == n) return items;

  // quotes: 1 while inside quotes. A run of quotes may briefly count to 2
  // (closes) or 3 (a literal quote, back to unquoted), as the system does.
  int quotes = 0;
  std::size_t backslashes = 0;
  while (i < n) {
    const Char c = text[i];
    if (IsBlank(c) && quotes == 0) {
      items.push_back(item);
      item.clear();
      backslashes = 0;
      while (i < n && IsBlank(text[i])) ++i;
      if (i == n) return items;
    } else if (c == kBackslash) {
      item += c;
      ++backslashes;
      ++i;
    } else if (c == kQuote) {
      // The backslashes were copied as they came; halve them now.
      item.resize(item.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        item.back() = kQuote;
      }
      backslashes = 0;
      ++i;
      for (; i < n && text[i] == kQuote; ++i) {
        if (++quotes == 3) {
          item += kQuote;
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    } else {
      item += c;
      backslashes = 0;
      ++i;
    }
  }
  items.push_back(item);
  return items;
}

template std::vector<std::string> SplitArgumentsOf(const std::string&);
template std::vector<std::wstring> SplitArgumentsOf(const std::wstring&);
template std::vector<std::u16string> SplitArgumentsOf(const std::u16string&);

}  // namespace tamarak9
