// The command-line argument text, split by the support library and parsed
// by the start-up: any bytes must split and parse without a fault, and the
// items, quoted and joined again, must split back into themselves.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/switches.h"
#include "app/command_line.h"

namespace {

// The quoting that CommandLineToArgvW undoes exactly: quotes escaped, and
// the backslashes before a quote (or the closing quote) doubled.
std::string Quote(const std::string& item) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : item) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  return out.append(backslashes * 2, '\\') + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> items = kestrad::SplitArguments(text);
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : " ") + Quote(item);
  if (kestrad::SplitArguments(joined) != items) std::abort();
  kestrad::ParseSwitches(items);
  return 0;
}
