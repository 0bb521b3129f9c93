// The version, the shell and the argument entry points.
#include <windows.h>

#include <climits>

#include "tamarak9/cmdline_split_core.h"
#include "tamarak9/exports.h"
#include "tamarak9/heap_buffer_win32.h"
#include "tamarak9/text_win32.h"
#include "win32/system_library.h"

namespace {

constexpr int32_t kLibVersion = 100;

using ShellExecuteAFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

// shell32 is loaded only when an address is opened: importing it would load
// it, and the desktop libraries it brings, into every run of the program,
// the boot-time check included. The shell may leave threads of its own
// running in it, so it stays loaded.
ShellExecuteAFn LoadShellExecute() {
  const HMODULE shell32 = kestrad::LoadSystemLibrary(L"shell32.dll");
  if (shell32 == nullptr) return nullptr;
  return kestrad::GetFunction<ShellExecuteAFn>(shell32, "ShellExecuteA");
}

// The items one after another, each ended by a NUL, in a buffer large
// enough for them all.
struct JoinedItems {
  wchar_t* out;
  std::size_t length = 0;
  std::size_t count = 0;

  void Put(wchar_t c) { out[length++] = c; }
  void EndItem() {
    out[length++] = L'\0';
    ++count;
  }
};

}  // namespace

int32_t T9_CALL LibVersion(void) { return kLibVersion; }

int32_t T9_CALL ShellRun(const char* address) {
  if (address == nullptr) return 0;
  const ShellExecuteAFn shell_execute = LoadShellExecute();
  if (shell_execute == nullptr) return 0;
  // ShellExecute reports success as a value above 32.
  const HINSTANCE result = shell_execute(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32 ? 1 : 0;
}

// The text is split in its wide form: in a DBCS code page a trail byte can
// be 0x5C, which a byte-wise split would take for a backslash. The items are
// joined as wide text and converted to ANSI in one go, their NULs with them.
int16_t T9_CALL GetArgs(const char* text, char* buffer, uint32_t size, uint32_t* needed) {
  if (needed != nullptr) *needed = 0;
  if (text == nullptr) return 0;
  tamarak9::HeapBuffer<wchar_t> wide;
  std::size_t length = 0;
  if (!tamarak9::AnsiToWide(text, wide, &length)) return -1;
  // No item is longer than the text and each takes at least one of its
  // characters, so the items and their NULs fit in twice its length.
  tamarak9::HeapBuffer<wchar_t> joined;
  if (length > (INT_MAX - 1) / 2 || !joined.Allocate(2 * length + 1)) return -1;
  JoinedItems items{joined.get()};
  tamarak9::StreamArguments(wide.get(), length, items);
  // The count crosses as a 16-bit value; more items than that is a failure.
  if (items.count > 0x7FFF) return -1;
  if (items.count == 0) return 0;
  const std::size_t bytes = tamarak9::WideToAnsi(items.out, items.length, nullptr, 0);
  if (bytes == 0) return -1;
  if (buffer != nullptr && size >= bytes) {
    tamarak9::WideToAnsi(items.out, items.length, buffer, size);
  }
  if (needed != nullptr) *needed = static_cast<uint32_t>(bytes);
  return static_cast<int16_t>(items.count);
}
