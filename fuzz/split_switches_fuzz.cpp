// The command-line argument text, split by the support library and parsed
// by the start-up: any bytes must split without a fault, and the items must
// keep the properties the start-up and the library's callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "app/switches.h"
#include "tamarak9/cmdline_split.h"

namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The quoting that CommandLineToArgvW undoes exactly: an item without
// blanks or quotes stays bare; any other (and the empty item) is put in
// quotes, with each quote escaped and the backslashes before a quote (or
// before the closing quote) doubled.
std::string Quote(const std::string& item) {
  if (!item.empty() && item.find_first_of(" \t\"") == std::string::npos) return item;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : item) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? " " : "") + Quote(items[i]);
  return text;
}

// The split of a text without quotes: runs of blanks separate, and
// everything else, backslashes included, is taken literally.
std::vector<std::string> SplitAtBlanks(const std::string& text) {
  std::vector<std::string> items;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) break;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    items.push_back(text.substr(start, i - start));
  }
  return items;
}

// What the start-up must make of one item: "-" in front read as "/", ASCII
// letters folded to upper case, nothing else touched.
std::string Normalised(std::string item) {
  if (!item.empty() && item[0] == '-') item[0] = '/';
  for (char& c : item) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return item;
}

void CheckSwitches(const std::vector<std::string>& items) {
  std::vector<std::string> parsed = items;
  const kestrad::Switches s = kestrad::ParseSwitches(parsed);
  Require(parsed.size() == items.size(), "parsing changed the number of items");
  kestrad::Switches want;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string n = Normalised(items[i]);
    Require(parsed[i] == n, "item not normalised in place as the start-up expects");
    want.check |= n == "/CHECK";
    want.debug |= n == "/DEBUG";
    want.log |= n == "/LOG";
    want.help |= n == "/H" || n == "/?";
  }
  Require(s.check == want.check && s.debug == want.debug && s.log == want.log &&
              s.help == want.help,
          "a flag differs from the items it was parsed from");
  // Parsing the rewritten items again finds the same switches and leaves
  // them as they are.
  std::vector<std::string> again = parsed;
  const kestrad::Switches s2 = kestrad::ParseSwitches(again);
  Require(again == parsed, "normalising is not idempotent");
  Require(s2.check == s.check && s2.debug == s.debug && s2.log == s.log && s2.help == s.help,
          "second parse found other switches");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> items = tamarak9::SplitArguments(text);

  // Each item takes at least one character of the text, and two items at
  // least one blank between them: n items need 2n - 1 characters.
  Require(items.size() <= (size + 1) / 2, "more items than the text can hold");
  Require(items.size() <= size + 1, "more items than characters + 1");
  std::size_t total = 0;
  for (const std::string& item : items) total += item.size();
  // Quotes and halved backslashes are dropped, nothing is ever added.
  Require(total <= size, "items longer than the text");

  bool has_quote = text.find('"') != std::string::npos;
  if (!has_quote) {
    // Without quotes no item can hold a blank, and backslashes are literal.
    Require(items == SplitAtBlanks(text), "quote-free text not split at its blanks");
  }
  for (const std::string& item : items) {
    if (!has_quote) Require(item.find_first_of(" \t") == std::string::npos, "unquoted blank");
  }

  // Quoting each item and joining them gives a text that splits back into
  // the very same items: what a caller that builds a command line needs.
  Require(tamarak9::SplitArguments(Join(items)) == items, "join and re-split differ");

  // The library splits the wide form of the text; for bytes that map one to
  // one on code points (Latin-1) both splits must agree.
  std::u16string wide(text.begin(), text.end());
  for (std::size_t i = 0; i < size; ++i) wide[i] = static_cast<char16_t>(data[i]);
  const std::vector<std::u16string> wide_items = tamarak9::SplitArgumentsOf(wide);
  Require(wide_items.size() == items.size(), "wide split gives another count");
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::u16string narrow(items[i].size(), u'\0');
    for (std::size_t j = 0; j < items[i].size(); ++j)
      narrow[j] = static_cast<char16_t>(static_cast<unsigned char>(items[i][j]));
    Require(narrow == wide_items[i], "wide split gives another item");
  }

  CheckSwitches(items);

  // The input read as a list of items (NUL-separated) survives quoting,
  // joining and splitting too, whatever bytes the items hold.
  std::vector<std::string> list;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      list.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  Require(tamarak9::SplitArguments(Join(list)) == list, "list does not survive join and split");
  CheckSwitches(list);
  return 0;
}
