#include "common/error_trap.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace kestrad {
namespace {

using testing::FakeLog;

TEST(ErrorTrapTest, EachProcedureHasItsOwnWording) {
  struct Row {
    TrapWording wording;
    const char* log_text;
  } rows[] = {
      {TrapWording::Main, "\r\n\r\nError: 53 (File not found: tamarak9.dll) occured in Main()"},
      {TrapWording::TestIDE, "\r\n\r\nError: 53 (File not found: tamarak9.dll) occured in TestIDE()"},
      {TrapWording::Window, "\r\nError: 53 (File not found: tamarak9.dll) occured"},
      {TrapWording::IsDLLInstalled, "\r\nError 53 - (File not found: tamarak9.dll) in IsDLLInstalled"},
  };
  for (const Row& row : rows) {
    FakeLog log;
    ErrorTrap trap(log, row.wording);
    EXPECT_FALSE(trap.Run([] { throw RunError(53, "File not found: tamarak9.dll"); }));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].type, EventType::Error);
    EXPECT_EQ(log.entries[0].text, row.log_text);
    // The message kept for callers is the entry without its leading line breaks.
    const std::string text = row.log_text;
    EXPECT_EQ(trap.last_message(), text.substr(text.find("Error")));
  }
}

TEST(ErrorTrapTest, NumbersAreDecimalWithoutPadding) {
  EXPECT_EQ(TrapMessage(TrapWording::Window, 0, "x"), "Error: 0 (x) occured");
  EXPECT_EQ(TrapMessage(TrapWording::Window, -2147024894L, "x"), "Error: -2147024894 (x) occured");
  EXPECT_EQ(TrapMessage(TrapWording::Window, 1157, ""), "Error: 1157 () occured");
}

TEST(ErrorTrapTest, CompletedStepsLogNothingAndFailedDecisionsEnterTheirBranch) {
  FakeLog log;
  ErrorTrap trap(log, TrapWording::Main);
  int steps = 0;
  EXPECT_TRUE(trap.Run([&] { ++steps; }));
  EXPECT_FALSE(trap.Decide([] { return false; }));
  EXPECT_TRUE(trap.Decide([]() -> bool { throw RunError(1, "x"); }));
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(log.entries.size(), 1u);
}

TEST(ErrorTrapTest, ForeignExceptionsAreTrappedToo) {
  FakeLog log;
  ErrorTrap trap(log, TrapWording::Window);
  EXPECT_FALSE(trap.Run([] { throw std::bad_alloc(); }));
  EXPECT_FALSE(trap.Run([] { throw std::out_of_range("Subscript out of range"); }));
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[0].text, "\r\nError: 7 (Out of memory) occured");
  EXPECT_EQ(log.entries[1].text, "\r\nError: 5 (Subscript out of range) occured");
}

}  // namespace
}  // namespace kestrad
