// The console entry points seen from a child process: in a console of its
// own, as Explorer gives it, and with no standard handles at all. Output
// redirected to a file, or to nowhere, is proven end to end (the transcripts
// help and report-no-output).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "program_config.h"
#include "test_library.h"

namespace {

constexpr char kFreshConsoleChild[] = "--fresh-console-child";
constexpr char kNoHandlesChild[] = "--no-handles-child";
constexpr char kProgressChild[] = "--progress-child";
constexpr DWORD kChildTimeoutMs = 20000;

// What the library gets from GetProcAddress for GetConsoleProcessList:
// nothing, as on Windows 2000.
FARPROC WINAPI GetProcAddressWithoutProcessList(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 &&
      std::strcmp(name, "GetConsoleProcessList") == 0)
    return nullptr;
  return GetProcAddress(module, name);
}

// In a console of its own, on a system without GetConsoleProcessList: after
// the usage screen has moved the cursor, the library still knows that a
// pause is needed. 0 when it does.
int RunFreshConsoleChild() {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  const kestrad_test::ImportPatch patch(
      library.get(), "GetProcAddress",
      reinterpret_cast<const void*>(&GetProcAddressWithoutProcessList));
  if (!patch.patched()) return 5;
  library.Get<T9OpenConsoleFn>("OpenConsole")();
  library.Get<T9WritesFn>("Writes")("       KESTRAD banner");
  library.Get<T9WriteLnFn>("WriteLn")("\r\nand some lines");
  return library.Get<T9InNativeConsoleFn>("InNativeConsole")() == 0 ? 0 : 4;
}

// In a console of its own: each progress line covers the last, the empty one
// blanks it, and the cursor stays on the line. 0 when so.
int RunProgressChild() {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  library.Get<T9OpenConsoleFn>("OpenConsole")();
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, console);
  const auto progress = library.Get<T9WriteErrProgressFn>("WriteErrProgress");
  // The cursor's line as the screen shows it, and the cursor's column.
  const auto line = [console] {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    char text[8] = {};
    DWORD read = 0;
    ReadConsoleOutputCharacterA(console, text, 7, {0, info.dwCursorPosition.Y}, &read);
    return std::string(text, read) + "@" + std::to_string(info.dwCursorPosition.X);
  };
  const bool shown = progress("1 of 10") != 0 && line() == "1 of 10@7" && progress("2") != 0 &&
                     line() == "2      @7" && progress("") != 0 && line() == "       @0";
  return shown ? 0 : 8;
}

// Without standard handles nothing can be written, and says so, and nothing
// waits, until OpenConsole (the usage screen) makes a console. 0 when so.
int RunNoHandlesChild() {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  const auto console_open = library.Get<T9ConsoleOpenFn>("ConsoleOpen");
  const auto write_ln = library.Get<T9WriteLnFn>("WriteLn");
  if (console_open() != 0 || write_ln("lost") != 0) return 6;
  // Nobody can press a key here: the pause must not wait, nor a second close fail.
  library.Get<T9PauseFn>("Pause")("press a key");
  library.Get<T9CloseConsoleFn>("CloseConsole")();
  library.Get<T9CloseConsoleFn>("CloseConsole")();
  library.Get<T9OpenConsoleFn>("OpenConsole")();
  return console_open() != 0 && write_ln("usage") != 0 ? 0 : 7;
}

// `command` run without standard handles; its exit code, once it has ended
// by itself.
DWORD RunCommand(std::string command, DWORD flags) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  const kestrad::UniqueKernelObject thread(process.hThread), child(process.hProcess);
  if (WaitForSingleObject(child.get(), kChildTimeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "child still running";
    TerminateProcess(child.get(), 99);
  }
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(child.get(), &code);
  return code;
}

// This program as a child in `mode`.
DWORD RunChild(const char* mode, DWORD flags) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof(self));
  return RunCommand("\"" + std::string(self) + "\" " + mode, flags);
}

TEST(ConsoleTest, ConsoleOfItsOwnWantsAPauseWithoutTheProcessList) {
  EXPECT_EQ(RunChild(kFreshConsoleChild, CREATE_NEW_CONSOLE), 0u);
}

// A script's run asking for the usage screen in a console of its own, as a
// scheduled task starts the program, where the library wants a pause (the
// test above): the program ends by itself, with the exit code of a run that
// did nothing.
TEST(ConsoleTest, ScriptsUsageScreenNeverWaitsInAConsoleOfItsOwn) {
  std::string program = kestrad_test::LibraryPath();
  program.replace(program.rfind('\\') + 1, std::string::npos, KESTRAD_EXE);
  EXPECT_EQ(RunCommand("\"" + program + "\" /FIX /H", CREATE_NEW_CONSOLE), 7u);
}

TEST(ConsoleTest, ProgressLineIsRewrittenInPlaceInAConsole) {
  EXPECT_EQ(RunChild(kProgressChild, CREATE_NEW_CONSOLE), 0u);
}

TEST(ConsoleTest, WithoutHandlesOnlyOpenConsoleGivesOutput) {
  EXPECT_EQ(RunChild(kNoHandlesChild, DETACHED_PROCESS), 0u);
}

// What the library handed to WriteFile, one text per call.
std::vector<std::string> g_writes;
BOOL WINAPI RecordingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                               LPOVERLAPPED overlapped) {
  g_writes.emplace_back(static_cast<const char*>(data), size);
  return WriteFile(file, data, size, written, overlapped);
}

// Into a file, a line and its end are one write: a share that fails midway
// leaves no line without its end, for the next record to be glued onto.
TEST(ConsoleTest, EachLineIsOneWrite) {
  kestrad_test::Library library(kestrad_test::LibraryPath());
  const kestrad_test::ImportPatch patch(library.get(), "WriteFile",
                                        reinterpret_cast<const void*>(&RecordingWriteFile));
  ASSERT_TRUE(patch.patched());
  const kestrad::UniqueFile nul(
      CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, nul.get());
  SetStdHandle(STD_ERROR_HANDLE, nul.get());
  library.Get<T9WriteLnFn>("WriteLn")("\"a\",\"b\"");
  library.Get<T9WriteErrLnFn>("WriteErrLn")("ERROR: x");
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  SetStdHandle(STD_ERROR_HANDLE, err);
  EXPECT_EQ(g_writes, (std::vector<std::string>{"\"a\",\"b\"\r\n", "ERROR: x\r\n"}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], kFreshConsoleChild) == 0) return RunFreshConsoleChild();
  if (argc > 1 && std::strcmp(argv[1], kNoHandlesChild) == 0) return RunNoHandlesChild();
  if (argc > 1 && std::strcmp(argv[1], kProgressChild) == 0) return RunProgressChild();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
