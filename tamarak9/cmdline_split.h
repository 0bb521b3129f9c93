// Splits an argument text the way CommandLineToArgvW splits the arguments
// that follow the program name. Platform-neutral.
//
// The rules, as the system applies them:
// - items are separated by runs of spaces and tabs outside quotes; leading
//   and trailing blanks make no item, so a blank text has no items;
// - a quote toggles quoting and is dropped; `""` alone is one empty item;
// - 2n backslashes before a quote give n backslashes and the quote toggles;
//   2n+1 give n backslashes and a literal quote; backslashes anywhere else
//   are literal;
// - inside quotes, a run of quotes counts together with the opening one:
//   every third gives a literal quote, and the run ends quoting unless it
//   leaves exactly the opening quote pending (so `"a""b"` gives a"b with
//   quoting ended after the second quote, the form older programs rely on).
#pragma once

#include <string>
#include <vector>

namespace tamarak9 {

// For any character type: the library splits the wide form of the ANSI text
// (a DBCS trail byte may equal a backslash), the tests split bytes.
template <typename Char>
std::vector<std::basic_string<Char>> SplitArgumentsOf(const std::basic_string<Char>& text);

extern template std::vector<std::string> SplitArgumentsOf(const std::string&);
extern template std::vector<std::wstring> SplitArgumentsOf(const std::wstring&);
extern template std::vector<std::u16string> SplitArgumentsOf(const std::u16string&);

inline std::vector<std::string> SplitArguments(const std::string& text) {
  return SplitArgumentsOf(text);
}

}  // namespace tamarak9
