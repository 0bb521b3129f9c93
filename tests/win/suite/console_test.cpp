// The console entry points, seen from a child process whose standard
// handles are redirected: output must reach the file or pipe, and nothing
// may wait for a key that no one can press.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "test_library.h"

namespace {

constexpr char kChildSwitch[] = "--console-child";
constexpr char kFreshConsoleSwitch[] = "--fresh-console-child";
constexpr DWORD kChildTimeoutMs = 20000;

// What the child writes, through the library, in the order it writes it.
constexpr char kExpectedOutput[] = "abcdef\r\n\r\nopen\r\nnative\r\npress a key!\r\n";

// The child: every console call with whatever standard handles it was given.
int RunChild() {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  const auto writes = library.Get<T9WritesFn>("Writes");
  const auto write_ln = library.Get<T9WriteLnFn>("WriteLn");
  const auto console_open = library.Get<T9ConsoleOpenFn>("ConsoleOpen");
  const auto in_native = library.Get<T9InNativeConsoleFn>("InNativeConsole");
  const auto set_attributes = library.Get<T9SetConsoleAttributesFn>("SetConsoleAttributes");
  const auto clear_attributes = library.Get<T9ClearConsoleAttributesFn>("ClearConsoleAttributes");
  const auto pause = library.Get<T9PauseFn>("Pause");
  const auto close_console = library.Get<T9CloseConsoleFn>("CloseConsole");
  const auto console_title = library.Get<T9ConsoleTitleFn>("ConsoleTitle");
  const bool has_output = console_open() != 0;
  int wrote = writes("abc");
  wrote &= write_ln("def");
  wrote &= write_ln("");
  wrote &= write_ln(has_output ? "open" : "closed");
  wrote &= write_ln(in_native() ? "native" : "own");
  set_attributes(15, 16);
  clear_attributes();
  console_title("kestrad console test");
  pause("press a key");
  close_console();
  close_console();
  wrote &= write_ln("!");
  // 0 when all went out, 3 when there was nowhere to write (and Pause came back).
  return wrote ? 0 : (has_output ? 2 : 3);
}

// What the library gets for `g_hidden` from GetProcAddress: nothing, as on a
// Windows that lacks the function.
const char* g_hidden = nullptr;

FARPROC WINAPI GetProcAddressWithout(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::strcmp(name, g_hidden) == 0)
    return nullptr;
  return GetProcAddress(module, name);
}

// In a console of its own, on a system without GetConsoleProcessList (as
// Windows 2000): after the usage screen has moved the cursor, the library
// still knows that a pause is needed. 0 when it does.
int RunFreshConsoleChild() {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  g_hidden = "GetConsoleProcessList";
  const kestrad_test::ImportPatch patch(library.get(), "GetProcAddress",
                                        reinterpret_cast<const void*>(&GetProcAddressWithout));
  if (!patch.patched()) return 5;
  library.Get<T9OpenConsoleFn>("OpenConsole")();
  library.Get<T9WritesFn>("Writes")("       KESTRAD banner");
  library.Get<T9WriteLnFn>("WriteLn")("\r\nand some lines");
  return library.Get<T9InNativeConsoleFn>("InNativeConsole")() == 0 ? 0 : 4;
}

struct ChildResult {
  DWORD exit_code;
  std::string output;
};

std::string SelfPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

// Runs this program as the child with the given standard handles.
DWORD RunChildWith(HANDLE input, HANDLE output, DWORD flags, const char* mode = kChildSwitch) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::string command = "\"" + SelfPath() + "\" " + mode;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  const kestrad::UniqueKernelObject thread(process.hThread), child(process.hProcess);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(child.get(), kChildTimeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "child still running: Pause blocked?";
    TerminateProcess(child.get(), 99);
  }
  GetExitCodeProcess(child.get(), &code);
  return code;
}

HANDLE InheritableNul() {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, 0, nullptr);
}

std::string ReadAll(HANDLE h) {
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(h, chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read);
  return text;
}

// Redirected to a pipe (or, end to end, to a file), the output is written
// with WriteFile: WriteConsole fails there.
TEST(ConsoleTest, OutputRedirectedToAPipeReachesIt) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  kestrad::UniqueKernelObject read_end, write_end;
  ASSERT_TRUE(CreatePipe(read_end.put(), write_end.put(), &inherit, 1 << 16));
  SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
  const kestrad::UniqueFile in(InheritableNul());
  // The output is far below the pipe's buffer, so the child never waits on it.
  EXPECT_EQ(RunChildWith(in.get(), write_end.get(), 0), 0u);
  write_end.reset();
  EXPECT_EQ(ReadAll(read_end.get()), kExpectedOutput);
}

TEST(ConsoleTest, NoHandlesAtAllIsHarmless) {
  EXPECT_EQ(RunChildWith(nullptr, nullptr, DETACHED_PROCESS), 3u);
}

TEST(ConsoleTest, ConsoleOfItsOwnWantsAPauseWithoutTheProcessList) {
  EXPECT_EQ(RunChildWith(nullptr, nullptr, CREATE_NEW_CONSOLE, kFreshConsoleSwitch), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], kChildSwitch) == 0) return RunChild();
  if (argc > 1 && std::strcmp(argv[1], kFreshConsoleSwitch) == 0) return RunFreshConsoleChild();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
