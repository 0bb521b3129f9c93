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
DWORD RunChildWith(HANDLE input, HANDLE output, DWORD flags) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::string command = "\"" + SelfPath() + "\" " + kChildSwitch;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  CloseHandle(process.hThread);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "child still running: Pause blocked?";
    TerminateProcess(process.hProcess, 99);
  }
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
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

TEST(ConsoleTest, OutputRedirectedToAFileReachesIt) {
  char temp[MAX_PATH];
  char file[MAX_PATH];
  ASSERT_NE(GetTempPathA(sizeof(temp), temp), 0u);
  ASSERT_NE(GetTempFileNameA(temp, "kst", 0, file), 0u);
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE out = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  HANDLE in = InheritableNul();
  EXPECT_EQ(RunChildWith(in, out, 0), 0u);
  SetFilePointer(out, 0, nullptr, FILE_BEGIN);
  EXPECT_EQ(ReadAll(out), kExpectedOutput);
  CloseHandle(in);
  CloseHandle(out);
  DeleteFileA(file);
}

TEST(ConsoleTest, OutputRedirectedToAPipeReachesIt) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 1 << 16));
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE in = InheritableNul();
  // The output is far below the pipe's buffer, so the child never waits on it.
  EXPECT_EQ(RunChildWith(in, write_end, 0), 0u);
  CloseHandle(write_end);
  EXPECT_EQ(ReadAll(read_end), kExpectedOutput);
  CloseHandle(in);
  CloseHandle(read_end);
}

TEST(ConsoleTest, NoHandlesAtAllIsHarmless) {
  EXPECT_EQ(RunChildWith(nullptr, nullptr, DETACHED_PROCESS), 3u);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], kChildSwitch) == 0) return RunChild();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
