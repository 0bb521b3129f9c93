#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/switches.h"
#include "app/usage.h"
#include "check/registry_layout.h"
#include "fakes.h"

namespace kestrad {
namespace {

using testing::FakeLog;
using testing::FakePlatform;
using testing::FakeSupport;
using testing::FakeWindow;

Switches Parse(std::vector<std::string> items) { return ParseSwitches(items); }

TEST(SwitchesTest, MatchInAnyCaseWithDashOrSlash) {
  EXPECT_TRUE(Parse({"/CHECK"}).check);
  EXPECT_TRUE(Parse({"-check"}).check);
  EXPECT_TRUE(Parse({"/cHeCk"}).check);
  EXPECT_TRUE(Parse({"-Debug"}).debug);
  EXPECT_TRUE(Parse({"/log"}).log);
  EXPECT_TRUE(Parse({"-h"}).help);
  EXPECT_TRUE(Parse({"/?"}).help);
  EXPECT_TRUE(Parse({"-?"}).help);
}

TEST(SwitchesTest, AnythingElseIsIgnored) {
  for (const char* item : {"--CHECK", "/CHECKX", "CHECK", "", "/", "-", "/ CHECK", "/CHECK ",
                           "/HELP", "?", "\\CHECK", "/C", "//CHECK"}) {
    Switches s = Parse({item});
    EXPECT_FALSE(s.check || s.debug || s.log || s.help) << "item: [" << item << "]";
  }
}

TEST(SwitchesTest, ItemsAreRewrittenInPlaceAndRepeatsChangeNothing) {
  std::vector<std::string> items = {"-check", "/check", "-log", "x\xe4y"};
  Switches s = ParseSwitches(items);
  EXPECT_TRUE(s.check && s.log && !s.debug && !s.help);
  EXPECT_EQ(items[0], "/CHECK");
  EXPECT_EQ(items[2], "/LOG");
  EXPECT_EQ(items[3], "X\xe4Y");  // bytes beyond ASCII are left alone
}

TEST(ArgumentTextTest, DropsTheProgramPathAndTheBlanksAfterIt) {
  EXPECT_EQ(ArgumentText("kestrad.exe /CHECK"), "/CHECK");
  EXPECT_EQ(ArgumentText("\"C:\\Program Files\\K\\kestrad.exe\"   /CHECK /LOG"), "/CHECK /LOG");
  EXPECT_EQ(ArgumentText("\"C:\\a b\\kestrad.exe\""), "");
  EXPECT_EQ(ArgumentText("kestrad.exe"), "");
  EXPECT_EQ(ArgumentText("kestrad.exe\t\"a b\" "), "\"a b\" ");
  EXPECT_EQ(ArgumentText("\"unterminated path /H"), "");
  EXPECT_EQ(ArgumentText(""), "");
}

TEST(UsageTest, BannerRunsTwentyThreeColumnsPastTheText) {
  const std::string banner = UsageBanner();
  EXPECT_EQ(banner.rfind("       KESTRAD v1.05 31st August 2009 ", 0), 0u);
  EXPECT_EQ(banner.substr(banner.size() - 23), std::string(23, ' '));
  EXPECT_NE(banner[banner.size() - 24], ' ');
}

TEST(UsageTest, PrintsInOrderAndPausesOnlyOutsideANativeConsole) {
  FakeLog log;
  for (bool native : {true, false}) {
    FakeSupport support;
    support.native_console = native;
    ErrorTrap trap(log, TrapWording::Main);
    ShowUsage(support, trap);
    std::vector<std::string> expected = {"A:15,16", "W:" + UsageBanner(), "A:clear",
                                         "L:\r\n",
                                         "L:DMA mode-test utility for Windows XP/2000 (may work in "
                                         "Vista - untested)",
                                         "L:Checks IDE Channels 1 and 2 to see if DMA/UDMA is enabled OK",
                                         "L:Can be set to check silently at boot time as a "
                                         "console-application",
                                         "L:Default is to open a window for user-intactive testing",
                                         "L:You can put KESTRAD in your startup folder to check at "
                                         "each boot",
                                         "L:This is a dual console/Windows application",
                                         "L:\r\nSyntax:\r\n",
                                         "L:KESTRAD [switches]\r\n",
                                         "L:/CHECK     Check UDMA modes manually and silently",
                                         "L:/LOG       Log all events (not just failures)",
                                         "L:",
                                         "L:Absolutely NO warranty",
                                         "L:Website: http://www.example.com/kestrad/"};
    if (!native) {
      expected.push_back("L:");
      expected.push_back("P:Press a key...");
    }
    EXPECT_EQ(support.console, expected);
  }
  EXPECT_TRUE(log.entries.empty());
}

TEST(UsageTest, NothingIsPrintedWhenNoConsoleIsOpen) {
  FakeSupport support;
  FakeLog log;
  support.console_open = false;
  ErrorTrap trap(log, TrapWording::Main);
  ShowUsage(support, trap);
  EXPECT_TRUE(support.console.empty());
}

// A run of Main over the fakes.
struct MainRun {
  FakeSupport support;
  FakeLog log;
  FakePlatform platform;
  FakeWindow window;

  explicit MainRun(std::vector<std::string> args, int ide0 = 1, int ide1 = 1) {
    support.args = std::move(args);
    support.SetDword(layout::PortMapKey(0), "DMAEnabled", ide0);
    support.SetDword(layout::PortMapKey(1), "DMAEnabled", ide1);
  }
  MainRun& Go() {
    Main(support, log, platform, window);
    return *this;
  }
  int Count(const std::string& call) const {
    return static_cast<int>(std::count(support.calls.begin(), support.calls.end(), call));
  }
};

const char kWarningText[] =
    "\r\n\r\nKESTRAD Detected that at least one IDE channel is not using DMA access";
const char kInfoText[] =
    "\r\n\r\nKESTRAD checked the IDE settings and all channels appear to be using DMA access OK";
const char kWarningPrompt[] =
    "DMA appears to be disabled on at least one IDE channel\r\n"
    "Your system may be running much slower than normal\r\n"
    "Test the status manually in the next screen\r\n\r\n"
    "You may safely ignore this warning message if you wish";

TEST(MainTest, MissingLibraryShowsTheCriticalBoxAndNothingElse) {
  for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"/CHECK"}}) {
    MainRun run(args);
    run.support.failing = {"LibVersion"};
    run.Go();
    ASSERT_EQ(run.platform.boxes.size(), 1u);
    EXPECT_EQ(run.platform.boxes[0].title, "tamarak9.dll not found");
    EXPECT_EQ(run.platform.boxes[0].prompt,
              "DLL tamarak9.dll not installed or not found in the current path - exiting");
    EXPECT_EQ(run.platform.boxes[0].style, BoxStyle::Critical);
    EXPECT_EQ(run.platform.ends, 1);
    EXPECT_EQ(run.platform.form_loads, 0);
    EXPECT_EQ(run.support.calls, std::vector<std::string>{"LibVersion"});
    ASSERT_EQ(run.log.entries.size(), 1u);
    EXPECT_EQ(run.log.entries[0].text,
              "\r\nError 453 - (Entry point LibVersion not found in tamarak9.dll) in IsDLLInstalled");
  }
}

TEST(MainTest, LibraryAnsweringZeroCountsAsPresent) {
  FakeSupport support;
  FakeLog log;
  EXPECT_TRUE(IsDLLInstalled(support, log));
  EXPECT_TRUE(log.entries.empty());
}

TEST(MainTest, HelpWinsOverEverySwitch) {
  for (auto args : {std::vector<std::string>{"/H"}, {"/?"}, {"-h"}, {"/CHECK", "/h", "/DEBUG"},
                    {"/DEBUG", "/CHECK", "-?"}}) {
    MainRun run(args, 1, 0);
    run.Go();
    EXPECT_EQ(run.Count("ReadDWORDFromRegistry"), 0);
    EXPECT_TRUE(run.log.entries.empty());
    EXPECT_TRUE(run.platform.boxes.empty());
    EXPECT_EQ(run.platform.form_loads, 0);
    EXPECT_EQ(run.platform.ends, 1);
    EXPECT_EQ(run.Count("WriteLn"), 14);
    EXPECT_EQ(run.support.calls.back(), "CloseConsole");
  }
}

TEST(MainTest, ConsoleIsReleasedBeforeTheCheck) {
  MainRun run({"/CHECK"}, 1, 0);
  run.Go();
  auto close = std::find(run.support.calls.begin(), run.support.calls.end(), "CloseConsole");
  auto read = std::find(run.support.calls.begin(), run.support.calls.end(), "ReadDWORDFromRegistry");
  EXPECT_LT(close, read);
}

TEST(MainTest, BootTimeCheckRoads) {
  struct Row {
    std::vector<std::string> args;
    int ide0, ide1;
    bool warning, info, window;
  } rows[] = {
      {{"/CHECK"}, 1, 1, false, false, false},
      {{"/CHECK", "/LOG"}, 1, 1, false, true, false},
      {{"/CHECK"}, 1, 0, true, false, true},
      {{"/CHECK"}, 2, 1, true, false, true},
      {{"/CHECK", "/LOG"}, 0, 1, true, false, true},
      {{"/CHECK", "/DEBUG"}, 1, 1, true, false, true},
      {{"-check"}, 1, 0, true, false, true},
      {{"/LOG", "/DEBUG"}, 1, 0, false, false, true},  // without /CHECK: just the window
      {{"--CHECK"}, 1, 0, false, false, true},
      {{"/CHECKX"}, 1, 0, false, false, true},
      {{"CHECK"}, 1, 0, false, false, true},
      {{}, 1, 1, false, false, true},
  };
  for (const Row& row : rows) {
    MainRun run(row.args, row.ide0, row.ide1);
    run.Go();
    std::vector<std::string> texts;
    for (auto& e : run.log.entries) texts.push_back(e.text);
    std::vector<std::string> expected;
    if (row.warning) expected.push_back(kWarningText);
    if (row.info) expected.push_back(kInfoText);
    EXPECT_EQ(texts, expected) << ::testing::PrintToString(row.args);
    for (auto& e : run.log.entries)
      EXPECT_EQ(e.type, row.warning ? EventType::Warning : EventType::Information);
    EXPECT_EQ(run.platform.form_loads, row.window ? 1 : 0) << ::testing::PrintToString(row.args);
    ASSERT_EQ(run.platform.boxes.size(), row.warning ? 1u : 0u);
    if (row.warning) {
      EXPECT_EQ(run.platform.boxes[0].title, "Disk Drives Running in Emergency (Slow) IDE Mode");
      EXPECT_EQ(run.platform.boxes[0].prompt, kWarningPrompt);
      EXPECT_EQ(run.platform.boxes[0].style, BoxStyle::Exclamation);
    }
    EXPECT_EQ(run.platform.ends, 0);
    EXPECT_EQ(run.window.references, 0) << "the silent check never touches the window";
    const bool check_road = row.warning || !row.window;
    EXPECT_EQ(run.Count("ReadDWORDFromRegistry"), check_road ? 2 : 0);
  }
}

TEST(MainTest, NeitherDmaValueReadableCountsAsPassed) {
  MainRun run({"/CHECK"});
  run.support.dwords.clear();
  run.Go();
  EXPECT_TRUE(run.log.entries.empty());
  EXPECT_TRUE(run.platform.boxes.empty());
  EXPECT_EQ(run.platform.form_loads, 0);
}

TEST(MainTest, FailuresAreLoggedAndTheRoadGoesOn) {
  // GetArgs missing: the count stays 0 and the window opens.
  MainRun no_args({"/CHECK"});
  no_args.support.failing = {"GetArgs"};
  no_args.Go();
  EXPECT_EQ(no_args.platform.form_loads, 1);
  ASSERT_EQ(no_args.log.entries.size(), 1u);
  EXPECT_EQ(no_args.log.entries[0].text,
            "\r\n\r\nError: 453 (Entry point GetArgs not found in tamarak9.dll) occured in Main()");

  // CloseConsole missing on the warning road: one entry per call, and the
  // box and the window still follow.
  MainRun no_close({"/CHECK"}, 0, 1);
  no_close.support.failing = {"CloseConsole"};
  no_close.Go();
  EXPECT_EQ(no_close.log.entries.size(), 3u);  // two CloseConsole errors, one warning
  EXPECT_EQ(no_close.platform.boxes.size(), 1u);
  EXPECT_EQ(no_close.platform.form_loads, 1);
}

TEST(MainTest, UsageSurvivesMissingConsoleFunctions) {
  // A library without ConsoleOpen: the failed test enters the printing branch.
  MainRun run({"/H"});
  run.support.failing = {"ConsoleOpen", "SetConsoleAttributes"};
  run.Go();
  EXPECT_EQ(run.Count("WriteLn"), 14);
  EXPECT_EQ(run.log.entries.size(), 2u);
  EXPECT_EQ(run.platform.ends, 1);
}

}  // namespace
}  // namespace kestrad
