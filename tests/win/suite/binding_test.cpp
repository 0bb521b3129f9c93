// The binding against a missing library, libraries lacking one entry point
// each, and the real library.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/event_log.h"
#include "app/platform_win32.h"
#include "common/run_error.h"
#include "program_config.h"
#include "support/tamarak9_binding_win32.h"
#include "test_library.h"
#include "win32/system_library.h"

namespace {

using kestrad::RunError;
using kestrad::Support;

// A call through the binding of one function the program binds.
struct Call {
  T9Index function;
  std::function<void(Support&)> call;
  // False for calls that would block, open a window or detach this test:
  // those are made only against a library that lacks them.
  bool harmless = true;
};

constexpr std::uint32_t kHklm = kestrad::kHiveLocalMachine;
constexpr char kNoKey[] = "Software\\KestradTest\\none";

const std::vector<Call> kCalls = {
    {T9Index_LibVersion, [](Support& s) { s.LibVersion(); }},
    {T9Index_ReadDWORDFromRegistry,
     [](Support& s) {
       std::int32_t v = 0;
       s.ReadDWORDFromRegistry(kHklm, kNoKey, "v", v);
     }},
    {T9Index_ReadStringFromRegistry,
     [](Support& s) { s.ReadStringFromRegistry(kHklm, kNoKey, "v"); }},
    {T9Index_WriteDWORDToRegistry,
     [](Support& s) { s.WriteDWORDToRegistry(kHklm, kNoKey, "v", 1); }},
    {T9Index_KeyExists, [](Support& s) { s.KeyExists(kHklm, kNoKey); }},
    {T9Index_ConnectRegistry,
     [](Support& s) {
       char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
       DWORD size = sizeof own;
       GetComputerNameA(own, &size);
       s.ConnectRegistry(own);
     }},
    {T9Index_DisconnectRegistry,
     [](Support& s) {
       // No connected hive: the library's refusal, not a missing entry point.
       try {
         s.DisconnectRegistry(kHklm);
         ADD_FAILURE() << "HKLM freed";
       } catch (const RunError& e) {
         if (e.number() != ERROR_INVALID_PARAMETER) throw;
       }
     }},
    {T9Index_ShellRun, [](Support& s) { s.ShellRun(""); }, false},
    {T9Index_GetArgs, [](Support& s) { s.GetArgs("a b"); }},
    {T9Index_OpenConsole, [](Support& s) { s.OpenConsole(); }, false},
    {T9Index_ConsoleOpen, [](Support& s) { s.ConsoleOpen(); }},
    {T9Index_CloseConsole, [](Support& s) { s.CloseConsole(); }, false},
    {T9Index_SetConsoleAttributes, [](Support& s) { s.SetConsoleAttributes(15, 16); }},
    {T9Index_ClearConsoleAttributes, [](Support& s) { s.ClearConsoleAttributes(); }},
    {T9Index_Writes, [](Support& s) { s.Writes(""); }},
    {T9Index_WriteLn, [](Support& s) { s.WriteLn(""); }},
    {T9Index_WriteErrLn, [](Support& s) { s.WriteErrLn(""); }},
    {T9Index_WriteErrProgress, [](Support& s) { s.WriteErrProgress(""); }},
    {T9Index_InNativeConsole, [](Support& s) { s.InNativeConsole(); }},
    {T9Index_Pause, [](Support& s) { s.Pause(""); }, false},
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

// The call of `function` in kCalls; null when it has none.
const Call* CallOf(T9Index function) {
  for (const Call& call : kCalls) {
    if (call.function == function) return &call;
  }
  return nullptr;
}

// Each fixture lacks one entry point: that one fails naming itself, the
// others still work, so a wrong name or pointer in the binding shows up here.
TEST(BindingTest, MissingEntryPointFailsAloneAndNamesItself) {
  for (int index = 0; index < T9_FUNCTION_COUNT; ++index) {
    const T9Function& function = t9_functions[index];
    const Call* missing = CallOf(static_cast<T9Index>(index));
    if (!function.bound) {
      EXPECT_EQ(missing, nullptr) << function.name << " is not bound";
      continue;
    }
    SCOPED_TRACE(function.name);
    if (missing == nullptr) {
      ADD_FAILURE() << "no call of " << function.name;
      continue;
    }
    const std::string fixture = kestrad_test::FixturePath(function.name);
    const auto support = kestrad::MakeTamarak9Binding(fixture.c_str());
    const RunError e = ErrorFrom([&] { missing->call(*support); });
    EXPECT_EQ(e.number(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(e.description(),
              std::string("Entry point ") + function.name + " not found in " + fixture);
    for (const Call& other : kCalls) {
      if (!other.harmless || &other == missing) continue;
      EXPECT_NO_THROW(other.call(*support)) << t9_functions[other.function].name;
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

// On another machine's hive, a registry call that fails for any reason but
// "not there" or another type (here: a hive the library never connected, so
// its handle is invalid) is a lost machine; the same failure on one of this
// machine's hives stays an unread value.
TEST(BindingTest, OtherMachineFailingIsLostItsAnswersAreNot) {
  const auto support = kestrad::MakeTamarak9Binding(kestrad_test::LibraryPath().c_str());
  char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof own;
  ASSERT_TRUE(GetComputerNameA(own, &size));
  const std::uint32_t hive = support->ConnectRegistry(own);
  const char* version = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  std::int32_t v = 0;
  EXPECT_FALSE(support->ReadDWORDFromRegistry(hive, kNoKey, "v", v));
  EXPECT_FALSE(support->ReadDWORDFromRegistry(hive, version, "ProductName", v));  // a string
  EXPECT_FALSE(support->KeyExists(hive, kNoKey));
  EXPECT_NE("", support->ReadStringFromRegistry(hive, version, "ProductName"));

  const std::uint32_t never = hive + 1;
  EXPECT_THROW(support->ReadDWORDFromRegistry(never, version, "v", v), kestrad::MachineLost);
  EXPECT_THROW(support->ReadStringFromRegistry(never, version, "ProductName"),
               kestrad::MachineLost);
  EXPECT_THROW(support->WriteDWORDToRegistry(never, kNoKey, "v", 1), kestrad::MachineLost);
  EXPECT_THROW(support->KeyExists(never, version), kestrad::MachineLost);
  const std::uint32_t no_such_predefined_key = 0x800000FFu;
  EXPECT_FALSE(support->ReadDWORDFromRegistry(no_such_predefined_key, version, "v", v));
}

// Every run leaves no system box to wait on (a drive without a disk, a file
// that will not open), and a script's run no crash dialog either.
TEST(PlatformTest, ErrorModeLeavesNoSystemBoxToWaitOn) {
  for (const bool unattended : {false, true}) {
    SetErrorMode(0);
    kestrad::SetErrorModeOfRun(unattended);
    EXPECT_EQ(
        SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | (unattended ? SEM_NOGPFAULTERRORBOX : 0u),
        SetErrorMode(0));
  }
}

// The ids of the message table FormatMessage reads (RT_MESSAGETABLE 1): its
// blocks each hold a run of ids, LowId to HighId.
std::vector<DWORD> MessageIds(HMODULE module) {
  std::vector<DWORD> ids;
  const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MESSAGETABLE);
  if (resource == nullptr) return ids;
  const DWORD size = SizeofResource(module, resource);
  const auto* table =
      static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(module, resource)));
  if (table == nullptr || size < sizeof table->NumberOfBlocks ||
      (size - sizeof table->NumberOfBlocks) / sizeof(MESSAGE_RESOURCE_BLOCK) <
          table->NumberOfBlocks) {
    return ids;
  }
  for (DWORD b = 0; b < table->NumberOfBlocks; ++b) {
    const MESSAGE_RESOURCE_BLOCK& block = table->Blocks[b];
    for (std::uint64_t id = block.LowId; id <= block.HighId; ++id) {
      ids.push_back(static_cast<DWORD>(id));
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Event Viewer renders an entry with the message of its id from kestrad.exe's
// message table and the entry's text as the one insertion: the result must be
// the text alone, for every message of the table, and the table has one
// message for each of the program's event ids and no other.
TEST(MessageTableTest, EveryMessageRendersItsEntrysTextAlone) {
  std::string path = kestrad_test::LibraryPath();
  path.replace(path.rfind('\\') + 1, std::string::npos, KESTRAD_EXE);
  const kestrad::UniqueModule program(
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(program) << path;
  const std::vector<DWORD> ids = MessageIds(program.get());
  std::vector<DWORD> event_ids;
  for (const kestrad::EventId id : kestrad::kEventIds) event_ids.push_back(static_cast<DWORD>(id));
  std::sort(event_ids.begin(), event_ids.end());
  EXPECT_EQ(event_ids, ids);
  // Texts as the program writes them: line ends, and a percent sign that
  // must not be taken for an insertion of its own.
  const char* const kText =
      "\r\n\r\nError: 126 (Cannot load " KESTRAD_LIBRARY ": 100% gone, %1 left)";
  for (const DWORD id : ids) {
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
