#include "check/test_ide.h"

#include <gtest/gtest.h>

#include "check/registry_layout.h"
#include "fakes.h"

namespace kestrad {
namespace {

using testing::FakeLog;
using testing::FakeSupport;
using testing::FakeWindow;

const std::string kSeparator = std::string(80, '-') + "\r\n";
const char* const kDetectionNames[] = {"MasterIdDataCheckSum", "SlaveIdDataCheckSum",
                                       "MasterDeviceDetectionTimeout",
                                       "SlaveDeviceDetectionTimeout"};

class TestIdeTest : public ::testing::Test {
 protected:
  // A machine with every value present and both channels in DMA mode.
  void SetUp() override {
    for (int ch = 0; ch < 2; ++ch) {
      support.SetDword(layout::PortMapKey(ch), "DMAEnabled", 1);
      support.SetDword(layout::ChannelInstanceKey(ch), "ResetErrorCountersOnSuccess", 1);
      int v = 10 * ch;
      for (const char* name : kDetectionNames) support.SetDword(layout::ChannelInstanceKey(ch), name, ++v);
    }
  }
  void Remove(int ch, const std::string& name) {
    const std::string& key = name == "DMAEnabled" ? layout::PortMapKey(ch) : layout::ChannelInstanceKey(ch);
    support.dwords.erase(FakeSupport::Path(key, name));
  }
  void Set(int ch, const std::string& name, std::int32_t v) {
    support.SetDword(name == "DMAEnabled" ? layout::PortMapKey(ch) : layout::ChannelInstanceKey(ch),
                     name, v);
  }
  std::int16_t Windowed() {
    const std::int16_t on = -1;
    return TestIDE(on, support, log, window);
  }
  std::int16_t Silent() {
    const std::int16_t off = 0;
    return TestIDE(off, support, log, window);
  }

  FakeSupport support;
  FakeLog log;
  FakeWindow window;
};

TEST_F(TestIdeTest, KeyPathsAreThePlainConcatenation) {
  EXPECT_EQ(layout::ChannelInstanceKey(0),
            "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96A-E325-11CE-BFC1-08002BE10318}\\0001");
  EXPECT_EQ(layout::ChannelInstanceKey(1).substr(layout::ChannelInstanceKey(1).size() - 6), "}\\0002");
  EXPECT_EQ(layout::ControllerInstanceKey().substr(layout::ControllerInstanceKey().size() - 5), "\\0000");
  EXPECT_EQ(layout::PortMapKey(1), "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1");
}

TEST_F(TestIdeTest, SilentRunMakesTwoReadsAndNeverReferencesTheWindow) {
  for (std::int32_t ide1 : {1, 0, 2, -1}) {
    support.reads.clear();
    Set(1, "DMAEnabled", ide1);
    EXPECT_EQ(Silent(), ide1 == 1 ? -1 : 0);
    EXPECT_EQ(support.reads, (std::vector<std::string>{
                                 FakeSupport::Path(layout::PortMapKey(0), "DMAEnabled"),
                                 FakeSupport::Path(layout::PortMapKey(1), "DMAEnabled")}));
  }
  EXPECT_EQ(window.references, 0);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(TestIdeTest, UnreadableDmaValuesDoNotFailTheTest) {
  Remove(0, "DMAEnabled");
  Remove(1, "DMAEnabled");
  EXPECT_EQ(Silent(), -1);
  EXPECT_EQ(Windowed(), -1);
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(window.box(ch, Indicator::DMAEnabled).caption, "Could not read the registry setting");
    EXPECT_EQ(window.box(ch, Indicator::DMAEnabled).state, CheckState::Grayed);
    EXPECT_EQ(window.box(ch, Indicator::DMAEnabled).colour, kBlack);
    EXPECT_EQ(window.text[ch], kSeparator + "<driver>\r\n");
  }
  EXPECT_FALSE(window.fix_enabled);
}

TEST_F(TestIdeTest, HealthyMachineReportsEachChannelInOrder) {
  EXPECT_EQ(Windowed(), -1);
  EXPECT_EQ(window.text[0], "IDE 0: DMA is enabled OK - no action should be required\r\n" +
                                kSeparator + "<driver>\r\n");
  EXPECT_EQ(window.text[1], "IDE 1: DMA is enabled OK - no action should be required\r\n" +
                                kSeparator + "<driver>\r\n");
  EXPECT_FALSE(window.fix_enabled);
  EXPECT_EQ(window.box(0, Indicator::DMAEnabled).caption, "DMA is enabled OK");
  EXPECT_EQ(window.box(0, Indicator::DMAEnabled).state, CheckState::Checked);
  EXPECT_EQ(window.box(1, Indicator::ResetError).caption, "ResetErrorCountersOnSuccess (OK)");
  EXPECT_EQ(window.box(1, Indicator::MasterIdDataCheckSum).caption, "MasterIdDataCheckSum (11)");
  EXPECT_EQ(window.box(1, Indicator::SlaveDeviceDetectionTimeout).caption,
            "SlaveDeviceDetectionTimeout (14)");
  EXPECT_EQ(support.reads.size(), 12u);
  EXPECT_EQ(window.sel_start[0], window.text[0].size());
  EXPECT_EQ(window.sel_start[1], window.text[1].size());
  EXPECT_EQ(window.driver_version_calls, 1);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(TestIdeTest, DmaRuleOnlyExactlyOneIsEnabled) {
  for (std::int32_t value : {0, 2, -1, 257, 0x7FFFFFFF}) {
    FakeWindow fresh;
    Set(1, "DMAEnabled", value);
    const std::int16_t on = -1;
    EXPECT_EQ(TestIDE(on, support, log, fresh), 0) << value;
    const auto& box = fresh.box(1, Indicator::DMAEnabled);
    EXPECT_EQ(box.caption, "DMA is NOT enabled - (poss PIO mode)");
    EXPECT_EQ(box.state, CheckState::Grayed);
    EXPECT_EQ(box.colour, kRed);
    EXPECT_EQ(fresh.text[1],
              "WARNING: DMA does not appear to be enabled for the Secondary IDE channel (IDE 1)\r\n"
              "You may be having serious performance issues due to PIO mode being enabled\r\n"
              "Check in settings for IDE 1 in Control Panel->System->Device Manager\r\n" +
                  kSeparator + "<driver>\r\n");
    EXPECT_TRUE(fresh.fix_enabled);
  }
}

TEST_F(TestIdeTest, RepairValueCountsByPresenceOnly) {
  Set(0, "ResetErrorCountersOnSuccess", 0);
  Remove(1, "ResetErrorCountersOnSuccess");
  EXPECT_EQ(Windowed(), -1);
  EXPECT_EQ(window.box(0, Indicator::ResetError).caption, "ResetErrorCountersOnSuccess (OK)");
  EXPECT_EQ(window.box(0, Indicator::ResetError).state, CheckState::Checked);
  EXPECT_EQ(window.box(1, Indicator::ResetError).caption, "ResetErrorCountersOnSuccess (KEY MISSING)");
  EXPECT_EQ(window.box(1, Indicator::ResetError).state, CheckState::Grayed);
  EXPECT_EQ(window.box(1, Indicator::ResetError).colour, kRed);
  EXPECT_NE(window.text[1].find("Registry key missing - ResetErrorCountersOnSuccessPrimary is "
                                "missing for the Secondary IDE channel\r\n"),
            std::string::npos);
  EXPECT_TRUE(window.fix_enabled);
}

TEST_F(TestIdeTest, AbsentDetectionValuesOfIde0InReadOrder) {
  Remove(0, "ResetErrorCountersOnSuccess");
  Remove(0, "SlaveDeviceDetectionTimeout");
  EXPECT_EQ(Windowed(), -1);
  EXPECT_EQ(window.text[0],
            "IDE 0: DMA is enabled OK - no action should be required\r\n"
            "Registry key missing - ResetErrorCountersOnSuccessPrimary is missing for the Primary "
            "IDE channel\r\n"
            "Couldn't retrieve IDE0 SlaveDeviceDetectionTimeout\r\n" +
                kSeparator + "<driver>\r\n");
  const auto& sddt = window.box(0, Indicator::SlaveDeviceDetectionTimeout);
  EXPECT_EQ(sddt.caption, "SlaveDeviceDetectionTimeout");
  EXPECT_EQ(sddt.state, CheckState::Grayed);
  EXPECT_EQ(sddt.colour, kRed);
  EXPECT_TRUE(window.fix_enabled);
}

TEST_F(TestIdeTest, OtherAbsentDetectionValuesGetNotSetAndKeepTheirColour) {
  for (const char* name : kDetectionNames) Remove(1, name);
  Windowed();
  EXPECT_EQ(window.text[1], "IDE 1: DMA is enabled OK - no action should be required\r\n"
                            "Couldn't retrieve IDE1 MasterIdDataCheckSum\r\n"
                            "Couldn't retrieve IDE1 SlaveIdDataCheckSum\r\n"
                            "Couldn't retrieve IDE1 MasterDeviceDetectionTimeout\r\n"
                            "Couldn't retrieve IDE1 SlaveDeviceDetectionTimeout\r\n" +
                                kSeparator + "<driver>\r\n");
  EXPECT_EQ(window.box(1, Indicator::MasterIdDataCheckSum).caption, "MasterIdDataCheckSum (NOT SET)");
  EXPECT_EQ(window.box(1, Indicator::MasterIdDataCheckSum).colour, kBlack);
  EXPECT_FALSE(window.fix_enabled) << "detection values never enable Fix";
}

TEST_F(TestIdeTest, CaptionsShowOnlyTheLatestRunAndRedStays) {
  Set(0, "MasterIdDataCheckSum", static_cast<std::int32_t>(0xFFFFFFFFu));
  Remove(0, "SlaveDeviceDetectionTimeout");
  Windowed();
  EXPECT_EQ(window.box(0, Indicator::MasterIdDataCheckSum).caption, "MasterIdDataCheckSum (-1)");
  Set(0, "SlaveDeviceDetectionTimeout", 7);
  Remove(0, "MasterIdDataCheckSum");
  Windowed();
  EXPECT_EQ(window.box(0, Indicator::MasterIdDataCheckSum).caption, "MasterIdDataCheckSum (NOT SET)");
  EXPECT_EQ(window.box(0, Indicator::SlaveDeviceDetectionTimeout).caption,
            "SlaveDeviceDetectionTimeout (7)");
  EXPECT_EQ(window.box(0, Indicator::SlaveDeviceDetectionTimeout).colour, kRed);
  // Two blocks, each closed by its separator and driver identification.
  const std::string block_end = kSeparator + "<driver>\r\n";
  EXPECT_EQ(window.text[0].find(block_end) + block_end.size() < window.text[0].size(), true);
  EXPECT_EQ(window.driver_version_calls, 2);
}

TEST_F(TestIdeTest, FixIsDisabledAtTheStartOfEveryWindowedRun) {
  Set(0, "DMAEnabled", 0);
  Windowed();
  EXPECT_TRUE(window.fix_enabled);
  Set(0, "DMAEnabled", 1);
  Windowed();
  EXPECT_FALSE(window.fix_enabled);
}

TEST_F(TestIdeTest, AFailedReadIsLoggedAndJudgedNotRead) {
  Set(1, "DMAEnabled", 0);
  support.failing = {"ReadDWORDFromRegistry"};
  EXPECT_EQ(Windowed(), -1);
  ASSERT_EQ(log.entries.size(), 12u);
  EXPECT_EQ(log.entries[0].type, EventType::Error);
  EXPECT_EQ(log.entries[0].text,
            "\r\n\r\nError: 453 (Entry point ReadDWORDFromRegistry not found in tamarak9.dll) "
            "occured in TestIDE()");
  EXPECT_EQ(window.box(1, Indicator::DMAEnabled).caption, "Could not read the registry setting");
  EXPECT_TRUE(window.fix_enabled) << "the repair value counts as missing";
}

TEST_F(TestIdeTest, AFailedAppendLosesOnlyThatLine) {
  Remove(0, "ResetErrorCountersOnSuccess");
  window.fail_append_number = 3;  // after both DMA lines: the missing-repair line of IDE 0
  EXPECT_EQ(Windowed(), -1);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].text, "\r\n\r\nError: 5 (Invalid procedure call) occured in TestIDE()");
  EXPECT_EQ(window.text[0], "IDE 0: DMA is enabled OK - no action should be required\r\n" +
                                kSeparator + "<driver>\r\n");
  EXPECT_TRUE(window.fix_enabled);
}

TEST_F(TestIdeTest, EveryFailingWindowOperationIsLoggedOnceAndTheRunGoesOn) {
  for (const char* op : {"SetCaption", "SetState", "SetColour", "SetFixEnabled",
                         "GetDriverVersions", "TextLength", "SetSelStart"}) {
    FakeWindow fresh;
    FakeLog fresh_log;
    fresh.failing = {op};
    Set(1, "DMAEnabled", 0);
    const std::int16_t on = -1;
    EXPECT_EQ(TestIDE(on, support, fresh_log, fresh), 0) << op;
    EXPECT_FALSE(fresh_log.entries.empty()) << op;
    for (auto& e : fresh_log.entries) {
      EXPECT_EQ(e.text, std::string("\r\n\r\nError: 13 (Type mismatch in ") + op +
                            ") occured in TestIDE()");
    }
    EXPECT_NE(fresh.text[1].find(kSeparator), std::string::npos) << op;
  }
}

}  // namespace
}  // namespace kestrad
