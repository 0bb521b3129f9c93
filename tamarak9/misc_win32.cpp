// The version, the shell and the argument entry points.
#include <windows.h>
// shellapi.h needs the types windows.h defines.
#include <shellapi.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "tamarak9/cmdline_split.h"
#include "tamarak9/exports.h"
#include "tamarak9/text_win32.h"

static_assert(std::is_same_v<decltype(&LibVersion), T9LibVersionFn>);
static_assert(std::is_same_v<decltype(&ShellRun), T9ShellRunFn>);
static_assert(std::is_same_v<decltype(&GetArgs), T9GetArgsFn>);

namespace {

constexpr int32_t kLibVersion = 100;

}  // namespace

int32_t T9_CALL LibVersion(void) { return kLibVersion; }

int32_t T9_CALL ShellRun(const char* address) try {
  if (address == nullptr) return 0;
  // ShellExecute reports success as a value above 32.
  const HINSTANCE result = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32 ? 1 : 0;
} catch (...) {
  return 0;
}

// The text is split in its wide form: in a DBCS code page a trail byte can
// be 0x5C, which a byte-wise split would take for a backslash.
int16_t T9_CALL GetArgs(const char* text, char* buffer, uint32_t size, uint32_t* needed) try {
  if (needed != nullptr) *needed = 0;
  if (text == nullptr) return 0;
  const auto wide_items = tamarak9::SplitArgumentsOf(tamarak9::AnsiToWide(text, std::strlen(text)));
  // The count crosses as a 16-bit value; more items than that is a failure.
  if (wide_items.size() > 0x7FFF) return -1;
  std::string joined;
  for (const std::wstring& item : wide_items) {
    joined += tamarak9::WideToAnsi(item);
    joined += '\0';
  }
  if (needed != nullptr) *needed = static_cast<uint32_t>(joined.size());
  if (buffer != nullptr && size >= joined.size()) std::memcpy(buffer, joined.data(), joined.size());
  return static_cast<int16_t>(wide_items.size());
} catch (...) {
  if (needed != nullptr) *needed = 0;
  return -1;
}
