// The binding against a missing library, libraries lacking one entry point
// each, and the real library.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/event_log.h"
#include "common/run_error.h"
#include "program_config.h"
#include "support/tamarak9_binding_win32.h"
#include "test_library.h"
#include "win32/system_library.h"

namespace {

using kestrad::RunError;
using kestrad::Support;

struct Call {
  const char* entry_point;
  std::function<void(Support&)> call;
  // False for calls that would block, open a window or detach this test:
  // those are made only against a library that lacks them.
  bool harmless = true;
};

constexpr std::uint32_t kHklm = kestrad::kHiveLocalMachine;
constexpr char kNoKey[] = "Software\\KestradTest\\none";

const std::vector<Call> kCalls = {
    {"LibVersion", [](Support& s) { s.LibVersion(); }},
    {"ReadDWORDFromRegistry",
     [](Support& s) {
       std::int32_t v = 0;
       s.ReadDWORDFromRegistry(kHklm, kNoKey, "v", v);
     }},
    {"ReadStringFromRegistry", [](Support& s) { s.ReadStringFromRegistry(kHklm, kNoKey, "v"); }},
    {"WriteDWORDToRegistry", [](Support& s) { s.WriteDWORDToRegistry(kHklm, kNoKey, "v", 1); }},
    {"KeyExists", [](Support& s) { s.KeyExists(kHklm, kNoKey); }},
    {"ConnectRegistry",
     [](Support& s) {
       char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
       DWORD size = sizeof own;
       GetComputerNameA(own, &size);
       s.ConnectRegistry(own);
     }},
    {"ShellRun", [](Support& s) { s.ShellRun(""); }, false},
    {"GetArgs", [](Support& s) { s.GetArgs("a b"); }},
    {"OpenConsole", [](Support& s) { s.OpenConsole(); }, false},
    {"ConsoleOpen", [](Support& s) { s.ConsoleOpen(); }},
    {"CloseConsole", [](Support& s) { s.CloseConsole(); }, false},
    {"SetConsoleAttributes", [](Support& s) { s.SetConsoleAttributes(15, 16); }},
    {"ClearConsoleAttributes", [](Support& s) { s.ClearConsoleAttributes(); }},
    {"Writes", [](Support& s) { s.Writes(""); }},
    {"WriteLn", [](Support& s) { s.WriteLn(""); }},
    {"WriteErrLn", [](Support& s) { s.WriteErrLn(""); }},
    {"InNativeConsole", [](Support& s) { s.InNativeConsole(); }},
    {"Pause", [](Support& s) { s.Pause(""); }, false},
};

// The RunError a call throws; fails the test when it throws none.
RunError ErrorFrom(const std::function<void()>& call) {
  try {
    call();
  } catch (const RunError& e) {
    return e;
  }
  ADD_FAILURE() << "no RunError";
  return RunError(0, "");
}

// Without the library the start-up's first call, LibVersion, fails and the
// program ends: no other call is ever made. The window DLLs are delay-loaded;
// the roads that show something load them first, so that a failure reaches
// their error traps in the same words.
TEST(BindingTest, LibraryThatCannotLoadFailsNamingItself) {
  const auto support = kestrad::MakeTamarak9Binding("C:\\nonexistent\\" KESTRAD_LIBRARY);
  const std::pair<std::string, std::function<void()>> cases[] = {
      {"C:\\nonexistent\\" KESTRAD_LIBRARY, [&] { support->LibVersion(); }},
      {"nonexistent.dll", [] { kestrad::RequireSystemLibrary(L"nonexistent.dll"); }},
  };
  for (const auto& [name, call] : cases) {
    const RunError e = ErrorFrom(call);
    EXPECT_EQ(e.number(), ERROR_MOD_NOT_FOUND) << name;
    EXPECT_EQ(e.description().rfind("Cannot load " + name + ": ", 0), 0u) << e.description();
  }
  EXPECT_NO_THROW(kestrad::RequireSystemLibrary(L"user32.dll"));
}

// Each fixture lacks one entry point: that one fails naming itself, the
// others still work, so a wrong name in the binding's table shows up here.
TEST(BindingTest, MissingEntryPointFailsAloneAndNamesItself) {
  for (const Call& missing : kCalls) {
    SCOPED_TRACE(missing.entry_point);
    const auto support =
        kestrad::MakeTamarak9Binding(kestrad_test::FixturePath(missing.entry_point).c_str());
    const RunError e = ErrorFrom([&] { missing.call(*support); });
    EXPECT_EQ(e.number(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(e.description(), std::string("Entry point ") + missing.entry_point +
                                   " not found in " +
                                   kestrad_test::FixturePath(missing.entry_point));
    for (const Call& other : kCalls) {
      if (!other.harmless || other.entry_point == missing.entry_point) continue;
      EXPECT_NO_THROW(other.call(*support)) << other.entry_point;
    }
  }
}

TEST(BindingTest, MebibyteStringRoundTrips) {
  const auto support = kestrad::MakeTamarak9Binding(kestrad_test::LibraryPath().c_str());
  kestrad_test::ScratchKey key;
  std::wstring text(1 << 20, L'k');
  for (std::size_t i = 0; i < text.size(); i += 1009) text[i] = L'0' + (i % 10);
  key.SetRaw(L"big", REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
  const std::string read =
      support->ReadStringFromRegistry(kestrad_test::kHiveCurrentUser, key.path(), "big");
  EXPECT_TRUE(read == std::string(text.begin(), text.end())) << "size " << read.size();
}

// Event Viewer renders an entry with the message of its id from kestrad.exe's
// message table and the entry's text as the one insertion: the result must be
// the text alone, for every kind of entry.
TEST(MessageTableTest, EachKindOfEntryRendersItsTextAlone) {
  std::string path = kestrad_test::LibraryPath();
  path.replace(path.rfind('\\') + 1, std::string::npos, KESTRAD_EXE);
  const kestrad::UniqueModule program(
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(program) << path;
  // Texts as the program writes them: line ends, and a percent sign that
  // must not be taken for an insertion of its own.
  const char* const kText =
      "\r\n\r\nError: 126 (Cannot load " KESTRAD_LIBRARY ": 100% gone, %1 left)";
  for (auto id = static_cast<DWORD>(kestrad::EventId::CheckFailed);
       id <= static_cast<DWORD>(kestrad::EventId::RepairWritten); ++id) {
    char* text = nullptr;
    const DWORD_PTR insertions[] = {reinterpret_cast<DWORD_PTR>(kText)};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   program.get(), id, 0x409, reinterpret_cast<char*>(&text), 0,
                                   reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(insertions)));
    ASSERT_NE(0u, n) << "no message " << id;
    EXPECT_EQ(std::string(kText), std::string(text, n)) << id;
    LocalFree(text);
  }
}

}  // namespace
