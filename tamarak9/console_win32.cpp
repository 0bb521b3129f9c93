// The console entry points.
//
// The program may be started from a console, by Explorer (a console of its
// own), or with standard output redirected to a file or pipe; every function
// copes with all three and with no console at all.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "tamarak9/exports.h"
#include "tamarak9/heap_buffer_win32.h"
#include "win32/system_library.h"
#include "win32/unique_handle.h"

namespace {

// Process-wide console state. The program drives the console from its one
// user-interface thread, so no lock. Constant-initialized and trivially
// destroyed: the library has no start-up code to run constructors or
// destructors of its globals.
struct ConsoleState {
  // The CONOUT$/CONIN$ handles OpenConsole installed as standard handles,
  // or null; closed by CloseConsole (DropOpenedHandle).
  HANDLE opened_output = nullptr;
  HANDLE opened_input = nullptr;
  // The attributes SetConsoleAttributes found, for ClearConsoleAttributes.
  bool attributes_saved = false;
  WORD saved_attributes = 0;
  // Whether the console was fresh (its cursor at the top left) before
  // anything was written to it, once known.
  bool freshness_noted = false;
  bool fresh = false;
  // The length of the progress line on standard error, for the next one to
  // blank what it leaves of it.
  std::size_t progress_length = 0;
};
ConsoleState g_console;
static_assert(std::is_trivially_destructible_v<ConsoleState>);

bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return IsValid(h) && GetConsoleMode(h, &mode) != FALSE;
}

// A console, a file or a pipe; a GUI process without a console has NULL,
// and a handle inherited but since closed has no file type.
bool IsUsable(HANDLE h) { return IsValid(h) && GetFileType(h) != FILE_TYPE_UNKNOWN; }

HANDLE StdOut() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE StdIn() { return GetStdHandle(STD_INPUT_HANDLE); }

// Notes, before the first write, whether the console is fresh: a console
// made for this process alone still has its cursor at the top left, while a
// shell's console holds at least the prompt and the command line.
void NoteFreshness() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (g_console.freshness_noted || !IsConsole(StdOut()) ||
      !GetConsoleScreenBufferInfo(StdOut(), &info)) {
    return;
  }
  g_console.freshness_noted = true;
  g_console.fresh = info.dwCursorPosition.X == 0 && info.dwCursorPosition.Y == 0;
}

bool WriteAll(HANDLE out, const char* text, std::size_t length) {
  NoteFreshness();
  if (!IsValid(out)) return false;
  // WriteConsoleA fails on a redirected handle (also when a console exists
  // but output goes to a file), so only a console handle gets it, in chunks
  // that keep old consoles within their per-call limit. A file or pipe gets
  // the whole text in one write: a line is whole or absent.
  const bool console = IsConsole(out);
  while (length > 0) {
    const std::size_t most = console ? 8192 : MAXDWORD;
    const DWORD chunk = static_cast<DWORD>(length < most ? length : most);
    DWORD written = 0;
    const BOOL ok = console ? WriteConsoleA(out, text, chunk, &written, nullptr)
                            : WriteFile(out, text, chunk, &written, nullptr);
    if (!ok || written == 0) return false;
    text += written;
    length -= written;
  }
  return true;
}

// The text and its line end, in one write.
int32_t WriteLine(HANDLE out, const char* text) {
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  tamarak9::HeapBuffer<char> line;
  if (!line.Allocate(length + 2)) return 0;
  if (length > 0) std::memcpy(line.get(), text, length);
  std::memcpy(line.get() + length, "\r\n", 2);
  return WriteAll(out, line.get(), length + 2) ? 1 : 0;
}

HANDLE OpenConsoleDevice(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

void DropOpenedHandle(HANDLE& opened, DWORD std_handle) {
  if (opened == nullptr) return;
  if (GetStdHandle(std_handle) == opened) SetStdHandle(std_handle, nullptr);
  CloseHandle(opened);
  opened = nullptr;
}

bool IsModifierKey(WORD key) {
  return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_CAPITAL ||
         key == VK_NUMLOCK || key == VK_SCROLL || key == VK_LWIN || key == VK_RWIN;
}

}  // namespace

int32_t T9_CALL OpenConsole(void) {
  if (IsUsable(StdOut())) return NoteFreshness(), 1;
  // Fails when the process has a console already; CONOUT$ reaches it anyway.
  AllocConsole();
  kestrad::UniqueFile out(OpenConsoleDevice("CONOUT$"));
  if (!out) return 0;
  DropOpenedHandle(g_console.opened_output, STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, out.get());
  g_console.opened_output = out.release();
  if (!IsUsable(StdIn())) {
    kestrad::UniqueFile in(OpenConsoleDevice("CONIN$"));
    if (in) {
      DropOpenedHandle(g_console.opened_input, STD_INPUT_HANDLE);
      SetStdHandle(STD_INPUT_HANDLE, in.get());
      g_console.opened_input = in.release();
    }
  }
  NoteFreshness();
  return 1;
}

int16_t T9_CALL ConsoleOpen(void) { return IsUsable(StdOut()) ? 1 : 0; }

int32_t T9_CALL CloseConsole(void) {
  DropOpenedHandle(g_console.opened_output, STD_OUTPUT_HANDLE);
  DropOpenedHandle(g_console.opened_input, STD_INPUT_HANDLE);
  g_console.attributes_saved = false;
  g_console.freshness_noted = false;
  // Fails harmlessly when there is no console (a second call).
  FreeConsole();
  return 1;
}

int32_t T9_CALL SetConsoleAttributes(int32_t foreground, int32_t background) {
  const HANDLE out = StdOut();
  if (!g_console.attributes_saved) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!IsValid(out) || !GetConsoleScreenBufferInfo(out, &info)) return 0;
    g_console.saved_attributes = info.wAttributes;
    g_console.attributes_saved = true;
  }
  // The background arrives already shifted (16 = BACKGROUND_BLUE).
  return SetConsoleTextAttribute(out, static_cast<WORD>(foreground | background)) ? 1 : 0;
}

int32_t T9_CALL ClearConsoleAttributes(void) {
  if (!g_console.attributes_saved) return 0;
  g_console.attributes_saved = false;
  return SetConsoleTextAttribute(StdOut(), g_console.saved_attributes) ? 1 : 0;
}

int32_t T9_CALL Writes(const char* text) {
  if (text == nullptr) return 0;
  return WriteAll(StdOut(), text, std::strlen(text)) ? 1 : 0;
}

int32_t T9_CALL WriteLn(const char* text) { return WriteLine(StdOut(), text); }

int32_t T9_CALL WriteErrLn(const char* text) {
  return WriteLine(GetStdHandle(STD_ERROR_HANDLE), text);
}

int32_t T9_CALL WriteErrProgress(const char* text) {
  // A line taken back with a carriage return is for a person watching a
  // console; in a file or pipe it would pile up as one endless line.
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (!IsConsole(err)) return 0;
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  const std::size_t shown = g_console.progress_length;
  const std::size_t blanks = shown > length ? shown - length : 0;
  // The empty text blanks the line and returns to its start.
  const std::size_t total = 1 + length + blanks + (length == 0 ? 1 : 0);
  tamarak9::HeapBuffer<char> line;
  if (!line.Allocate(total)) return 0;
  line.get()[0] = '\r';
  if (length > 0) std::memcpy(line.get() + 1, text, length);
  std::memset(line.get() + 1 + length, ' ', blanks);
  if (length == 0) line.get()[total - 1] = '\r';
  if (!WriteAll(err, line.get(), total)) {
    // Some of it may be on the screen: blank the longer of the two next time.
    if (length > shown) g_console.progress_length = length;
    return 0;
  }
  g_console.progress_length = length;
  return 1;
}

// Whether the console outlives the program, so a final Pause is not needed.
//
// GetConsoleProcessList (XP and later) counts the processes attached to the
// console: more than this one means a shell shares it. Windows 2000 lacks it;
// there the answer is whether the console was fresh before anything was
// written to it (NoteFreshness).
int16_t T9_CALL InNativeConsole(void) {
  const HANDLE out = StdOut();
  // Nothing to pause in: no console input, or output goes elsewhere.
  if (!IsConsole(StdIn()) || !IsConsole(out)) return 1;
  using GetConsoleProcessListFn = DWORD(WINAPI*)(LPDWORD, DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const auto get_list = kernel32 == nullptr ? nullptr
                                            : kestrad::GetFunction<GetConsoleProcessListFn>(
                                                  kernel32, "GetConsoleProcessList");
  if (get_list != nullptr) {
    DWORD ids[4];
    const DWORD count = get_list(ids, 4);
    if (count != 0) return count > 1 ? 1 : 0;
  }
  NoteFreshness();
  return g_console.freshness_noted && g_console.fresh ? 0 : 1;
}

int32_t T9_CALL Pause(const char* prompt) {
  if (prompt != nullptr) WriteAll(StdOut(), prompt, std::strlen(prompt));
  // Without console input there is nobody to press a key: never block.
  const HANDLE in = StdIn();
  DWORD mode = 0;
  if (!IsValid(in) || !GetConsoleMode(in, &mode)) return 0;
  // Only key events, and keys typed before the prompt do not count.
  SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_MOUSE_INPUT | ENABLE_WINDOW_INPUT));
  FlushConsoleInputBuffer(in);
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(in, &record, 1, &read)) break;
    if (read == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        !IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) {
      break;
    }
  }
  SetConsoleMode(in, mode);
  return 1;
}

int32_t T9_CALL ConsoleTitle(const char* title) {
  return SetConsoleTitleA(title != nullptr ? title : "") ? 1 : 0;
}
