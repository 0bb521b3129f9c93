// Form1's load handler, its buttons and the driver identification, through
// fakes of the window, the support library and the event log.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fakes.h"
#include "ui/driver_versions.h"
#include "ui/form1_handlers.h"

namespace kestrad {
namespace {

using form1::ControlId;
using testing::FakeLog;
using testing::FakeSupport;

const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96A-E325-11CE-BFC1-08002BE10318}\\";
const std::string kController = kClass + "0000";
const std::string kIde0 = kClass + "0001";
const std::string kIde1 = kClass + "0002";
const std::string kMissingEntry = "Error: 453 (Entry point ReadStringFromRegistry not found in tamarak9.dll) occured";

// The window as its handlers see it. Records every operation in `journal`;
// appends can be made to fail by their 1-based number, any other operation
// by name.
class FakeView : public Form1View, public WindowRef {
 public:
  explicit FakeView(Support& support, EventLog& log) : support_(support), log_(log) {}

  std::string text[2];
  std::vector<std::string> journal;
  std::vector<std::pair<ControlId, std::string>> tooltips;
  std::string title;
  bool shown = false;
  bool fix_enabled = true;
  std::vector<std::string> failing;
  int fail_append_number = 0;
  int appends = 0;

  ChannelWindow& Window() override { return *this; }
  void Show() override {
    Op("Show");
    shown = true;
  }
  void SetTitle(const std::string& t) override {
    Op("SetTitle");
    title = t;
  }
  void SetTooltip(ControlId id, const std::string& t) override {
    Op("SetTooltip");
    tooltips.emplace_back(id, t);
  }
  void SetCaption(int, Indicator, const std::string&) override { Op("SetCaption"); }
  void SetState(int, Indicator, CheckState) override { Op("SetState"); }
  void SetColour(int, Indicator, std::uint32_t) override { Op("SetColour"); }
  void AppendText(int ch, const std::string& piece) override {
    if (++appends == fail_append_number) throw RunError(7, "Out of memory");
    Op("AppendText");
    text[ch] += piece;
  }
  std::size_t TextLength(int ch) override { return text[ch].size(); }
  void SetSelStart(int, std::size_t) override { Op("SetSelStart"); }
  void SetFixEnabled(bool e) override {
    Op("SetFixEnabled");
    fix_enabled = e;
  }
  void GetDriverVersions() override {
    Op("GetDriverVersions");
    kestrad::GetDriverVersions(*this, support_, log_);
  }

 private:
  void Op(const std::string& name) {
    journal.push_back(name);
    for (const auto& f : failing) {
      if (f == name) throw RunError(438, "Object doesn't support this property or method");
    }
  }
  Support& support_;
  EventLog& log_;
};

class FakeBoxes : public Form1Boxes {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  void Information(const std::string& prompt, const std::string& title) override {
    shown.emplace_back(prompt, title);
  }
};

// The channel test stand-in: marks each box with the run's number.
struct TestRuns {
  static inline int count = 0;
  static inline std::int16_t last_flag = 0;
  static std::int16_t Run(const std::int16_t& update_window, Support&, EventLog&, WindowRef& form) {
    ++count;
    last_flag = update_window;
    form.Window().AppendText(0, "<test>\r\n");
    form.Window().AppendText(1, "<test>\r\n");
    return -1;
  }
};

void SeedDriverStrings(FakeSupport& s) {
  s.strings[FakeSupport::Path(kController, "DriverDesc")] = "Standard Dual Channel PCI IDE Controller";
  s.strings[FakeSupport::Path(kController, "DriverDate")] = "7-1-2001";
  s.strings[FakeSupport::Path(kIde0, "ProviderName")] = "Microsoft";
  s.strings[FakeSupport::Path(kIde0, "DriverVersion")] = "5.1.2600.0";
  s.strings[FakeSupport::Path(kIde1, "ProviderName")] = "Acme";
  s.strings[FakeSupport::Path(kIde1, "DriverVersion")] = "2.0";
}

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    TestRuns::count = 0;
    TestRuns::last_flag = 0;
  }
  FakeSupport support;
  FakeLog log;
  FakeView view{support, log};
  FakeBoxes boxes;
  Form1Handlers handlers{support, log, view, boxes, &TestRuns::Run};
};

// ---- GetDriverVersions ----

struct DriverCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> removed;  // key, value name
  std::string ide0;
  std::string ide1;
};

TEST_F(Form1Test, DriverVersionsShowWhatIsReadable) {
  const std::string vendor = "IDE Driver Vendor: Standard Dual Channel PCI IDE Controller (7-1-2001)\r\n";
  const std::string unreadable_vendor = "IDE Driver Vendor:  (Can't read driver vendor information)";
  const DriverCase cases[] = {
      {"everything readable", {},
       vendor + "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n",
       vendor + "IDE 1: ATAPI Driver: Acme - 2.0\r\n"},
      {"no description: two blanks before the parenthesis, date still follows",
       {{kController, "DriverDesc"}},
       unreadable_vendor + " (7-1-2001)\r\nIDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n",
       unreadable_vendor + " (7-1-2001)\r\nIDE 1: ATAPI Driver: Acme - 2.0\r\n"},
      {"no date: no parentheses", {{kController, "DriverDate"}},
       "IDE Driver Vendor: Standard Dual Channel PCI IDE Controller\r\nIDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n",
       "IDE Driver Vendor: Standard Dual Channel PCI IDE Controller\r\nIDE 1: ATAPI Driver: Acme - 2.0\r\n"},
      {"no provider on IDE 0: no dash", {{kIde0, "ProviderName"}},
       vendor + "IDE 0: ATAPI Driver: 5.1.2600.0\r\n",
       vendor + "IDE 1: ATAPI Driver: Acme - 2.0\r\n"},
      {"no version on IDE 1: no line end", {{kIde1, "DriverVersion"}},
       vendor + "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n",
       vendor + "IDE 1: ATAPI Driver: Acme - "},
      {"nothing readable",
       {{kController, "DriverDesc"}, {kController, "DriverDate"}, {kIde0, "ProviderName"},
        {kIde0, "DriverVersion"}, {kIde1, "ProviderName"}, {kIde1, "DriverVersion"}},
       unreadable_vendor + "\r\nIDE 0: ATAPI Driver: ",
       unreadable_vendor + "\r\nIDE 1: ATAPI Driver: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSupport s;
    SeedDriverStrings(s);
    for (const auto& r : c.removed) s.strings.erase(FakeSupport::Path(r.first, r.second));
    FakeLog l;
    FakeView v(s, l);
    GetDriverVersions(v, s, l);
    EXPECT_EQ(c.ide0, v.text[0]);
    EXPECT_EQ(c.ide1, v.text[1]);
    EXPECT_TRUE(l.entries.empty());
  }
}

TEST_F(Form1Test, DriverVersionsTwiceStandsTwiceBehindEarlierText) {
  SeedDriverStrings(support);
  view.text[0] = "typed by the user";
  GetDriverVersions(view, support, log);
  GetDriverVersions(view, support, log);
  const std::string block =
      "IDE Driver Vendor: Standard Dual Channel PCI IDE Controller (7-1-2001)\r\n"
      "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n";
  EXPECT_EQ("typed by the user" + block + block, view.text[0]);
}

TEST_F(Form1Test, DriverVersionsShowTheErrorInPlaceOfEachValueWhenTheLibraryIsUnusable) {
  SeedDriverStrings(support);
  support.failing.insert("ReadStringFromRegistry");
  GetDriverVersions(view, support, log);
  const std::string& e = kMissingEntry;
  EXPECT_EQ("IDE Driver Vendor: " + e + " (" + e + ")\r\nIDE 0: ATAPI Driver: " + e + " - " + e + "\r\n",
            view.text[0]);
  EXPECT_EQ("IDE Driver Vendor: " + e + " (" + e + ")\r\nIDE 1: ATAPI Driver: " + e + " - " + e + "\r\n",
            view.text[1]);
  ASSERT_EQ(6u, log.entries.size());
  for (const auto& entry : log.entries) {
    EXPECT_EQ(EventType::Error, entry.type);
    EXPECT_EQ("\r\n" + e, entry.text);
  }
}

TEST_F(Form1Test, DriverVersionsFailedAppendIsLoggedAndItsMessageBecomesTheValue) {
  SeedDriverStrings(support);
  view.fail_append_number = 1;  // the vendor line of txtIDE0
  GetDriverVersions(view, support, log);
  const std::string e = "Error: 7 (Out of memory) occured";
  EXPECT_EQ(" (7-1-2001)\r\nIDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n", view.text[0]);
  EXPECT_EQ("IDE Driver Vendor: " + e + " (7-1-2001)\r\nIDE 1: ATAPI Driver: Acme - 2.0\r\n", view.text[1]);
  ASSERT_EQ(1u, log.entries.size());
  EXPECT_EQ("\r\n" + e, log.entries[0].text);
}

TEST_F(Form1Test, DriverVersionsReadOnlyTheSixValuesInOrder) {
  GetDriverVersions(view, support, log);
  EXPECT_EQ(std::vector<std::string>(6, "ReadStringFromRegistry"), support.calls);
}

// ---- Form_Load ----

TEST_F(Form1Test, LoadShowsFirstThenTitleTooltipsFixAndDriverVersions) {
  SeedDriverStrings(support);
  handlers.Load(view);
  ASSERT_GE(view.journal.size(), 17u);
  EXPECT_EQ("Show", view.journal[0]);
  EXPECT_EQ("SetTitle", view.journal[1]);
  for (int i = 2; i < 16; ++i) EXPECT_EQ("SetTooltip", view.journal[i]);
  EXPECT_EQ("SetFixEnabled", view.journal[16]);
  EXPECT_EQ("GetDriverVersions", view.journal[17]);
  EXPECT_EQ("ATAPI Disk DMA Test v1.05 - Troubleshoot a Win XP/2K system for PIO-mode slowdown",
            view.title);
  EXPECT_FALSE(view.fix_enabled);
  EXPECT_EQ("IDE Driver Vendor: Standard Dual Channel PCI IDE Controller (7-1-2001)\r\n"
            "IDE 1: ATAPI Driver: Acme - 2.0\r\n",
            view.text[1]);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(Form1Test, LoadGivesTheTooltipTextsInItsOrder) {
  handlers.Load(view);
  const std::string dma =
      "If DMA-mode access is not set then performance will be severely affected. If running in "
      "PIO mode then your system will be *extremely* slow or unusable";
  const std::string reset =
      "If present, the running tally of device access failures is reset to zero after every "
      "successful access otherwise device will remain in failed and in PIO mode";
  const std::string detect =
      "(NOT SET) indicates a device not present or not properly-detected. Windows won't bother "
      "detecting a device in that slot at login time. A value of 1 may indicate failsafe (PIO) mode";
  const std::string sum = "This key may be safely deleted. It will be redetected at the next system-boot";
  const std::vector<std::pair<ControlId, std::string>> expected = {
      {ControlId::chkIDE0DMAEnabled, dma},
      {ControlId::chkIDE1DMAEnabled, dma},
      {ControlId::chkIDE0ResetError, reset},
      {ControlId::chkIDE1ResetError, reset},
      {ControlId::chkIDE0MasterDeviceDetectionTimeout, detect},
      {ControlId::chkIDE0SlaveDeviceDetectionTimeout, detect},
      {ControlId::chkIDE1MasterDeviceDetectionTimeout, detect},
      {ControlId::chkIDE1SlaveDeviceDetectionTimeout, detect},
      {ControlId::chkIDE0MasterIdDataCheckSum, sum},
      {ControlId::chkIDE1MasterIdDataCheckSum, sum},
      {ControlId::Command1, "Test your driver settings (no changes will be made)"},
      {ControlId::Command3, "Apply a Microsoft recommended registry-setting"},
      {ControlId::Command4, "Read the Microsoft explanation for ATA/ATAPI CRC problems"},
      {ControlId::Command5, "Visit the Orvandale website for more information"},
  };
  EXPECT_EQ(expected, view.tooltips);
}

TEST_F(Form1Test, LoadCarriesOnPastEachFailingStep) {
  for (const char* op : {"Show", "SetTitle", "SetTooltip", "SetFixEnabled"}) {
    SCOPED_TRACE(op);
    FakeSupport s;
    SeedDriverStrings(s);
    FakeLog l;
    FakeView v(s, l);
    v.failing = {op};
    Form1Handlers h(s, l, v, boxes, &TestRuns::Run);
    h.Load(v);
    const std::size_t expected_entries = std::string(op) == "SetTooltip" ? 14 : 1;
    ASSERT_EQ(expected_entries, l.entries.size());
    EXPECT_EQ("\r\nError: 438 (Object doesn't support this property or method) occured",
              l.entries[0].text);
    EXPECT_EQ(EventType::Error, l.entries[0].type);
    // The driver identification is still appended, and nothing else.
    EXPECT_EQ("IDE Driver Vendor: Standard Dual Channel PCI IDE Controller (7-1-2001)\r\n"
              "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.0\r\n",
              v.text[0]);
    EXPECT_EQ(std::string(op) != "SetFixEnabled", !v.fix_enabled);
  }
}

// ---- Test, Fix ----

TEST_F(Form1Test, TestRunsOneWindowedChannelTestAndNothingElse) {
  handlers.TestClicked();
  handlers.TestClicked();
  EXPECT_EQ(2, TestRuns::count);
  EXPECT_EQ(-1, TestRuns::last_flag);
  EXPECT_EQ("<test>\r\n<test>\r\n", view.text[0]);
  EXPECT_TRUE(support.calls.empty());
}

enum class Write { Ok, Zero, Throws };

// Support whose repair write for each channel succeeds, returns zero or throws.
class FixSupport : public FakeSupport {
 public:
  Write outcome[2] = {Write::Ok, Write::Ok};
  std::vector<std::pair<std::string, std::int32_t>> asked;
  bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                            std::int32_t value) override {
    EXPECT_EQ(kHiveLocalMachine, hive);
    asked.emplace_back(key + "|" + name, value);
    const Write w = outcome[key == kIde0 ? 0 : 1];
    if (w == Write::Throws) throw RunError(48, "Error in loading DLL");
    return w == Write::Ok;
  }
};

TEST(Form1Fix, RowsOfWriteOutcomes) {
  const std::string fixing = "Fixing problem...";
  const std::string retest = "Retesting settings (please check results)\r\n<test>\r\n";
  const std::string ok[2] = {"IDE 0: Successfully wrote ResetErrorCountersOnSuccess to registry\r\n",
                             "IDE 1: Successfully wrote ResetErrorCountersOnSuccess to registry\r\n"};
  const std::string bad[2] = {"IDE 0: Failed to write ResetErrorCountersOnSuccess to the registry\r\n",
                              "IDE 1: Failed to write ResetErrorCountersOnSuccess to the registry\r\n"};
  const std::string err = "Error: 48 (Error in loading DLL) occured\r\n";
  struct Row {
    const char* what;
    Write ide0, ide1;
    std::string txt0, txt1;
    bool reboot;
    std::size_t log_entries;
  };
  const Row rows[] = {
      {"both written", Write::Ok, Write::Ok, fixing + ok[0] + retest, fixing + ok[1] + retest, true, 0},
      {"both refused", Write::Zero, Write::Zero, fixing + bad[0] + retest, fixing + bad[1] + retest,
       false, 0},
      {"IDE 0 refused, IDE 1 written", Write::Zero, Write::Ok, fixing + bad[0] + retest,
       fixing + ok[1] + retest, true, 0},
      {"IDE 0 written, IDE 1 refused", Write::Ok, Write::Zero, fixing + ok[0] + retest,
       fixing + bad[1] + retest, true, 0},
      {"library unusable: error lines in both boxes, then the failure line", Write::Throws,
       Write::Throws, fixing + err + bad[0] + err + retest, fixing + err + err + bad[1] + retest,
       false, 2},
      {"IDE 0 throws, IDE 1 written", Write::Throws, Write::Ok, fixing + err + bad[0] + retest,
       fixing + err + ok[1] + retest, true, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    FixSupport s;
    s.outcome[0] = r.ide0;
    s.outcome[1] = r.ide1;
    FakeLog l;
    FakeView v(s, l);
    FakeBoxes b;
    TestRuns::count = 0;
    Form1Handlers(s, l, v, b, &TestRuns::Run).FixClicked();
    EXPECT_EQ(r.txt0, v.text[0]);
    EXPECT_EQ(r.txt1, v.text[1]);
    EXPECT_EQ(1, TestRuns::count);
    const std::string key = "ResetErrorCountersOnSuccess";
    EXPECT_EQ((std::vector<std::pair<std::string, std::int32_t>>{{kIde0 + "|" + key, 1},
                                                                {kIde1 + "|" + key, 1}}),
              s.asked);
    if (r.reboot) {
      ASSERT_EQ(1u, b.shown.size());
      EXPECT_EQ("You should reboot your system as soon as possible to activate the new settings",
                b.shown[0].first);
      EXPECT_EQ("Reboot required", b.shown[0].second);
    } else {
      EXPECT_TRUE(b.shown.empty());
    }
    ASSERT_EQ(r.log_entries, l.entries.size());
    for (const auto& e : l.entries) {
      EXPECT_EQ(EventType::Error, e.type);
      EXPECT_EQ("\r\nError: 48 (Error in loading DLL) occured", e.text);
    }
  }
}

TEST_F(Form1Test, FixStillAsksForARebootWhenTheSuccessLineIsRefused) {
  view.fail_append_number = 3;  // "Fixing problem..." twice, then IDE 0's success line
  handlers.FixClicked();
  const std::string err = "Error: 7 (Out of memory) occured\r\n";
  EXPECT_EQ("Fixing problem..." + err +
                "Retesting settings (please check results)\r\n<test>\r\n",
            view.text[0]);
  EXPECT_EQ("Fixing problem..." + err +
                "IDE 1: Successfully wrote ResetErrorCountersOnSuccess to registry\r\n"
                "Retesting settings (please check results)\r\n<test>\r\n",
            view.text[1]);
  EXPECT_EQ(1u, boxes.shown.size());
  EXPECT_EQ(1u, log.entries.size());
}

TEST_F(Form1Test, FixAppendsBehindTextWithoutALineEndAndRepeats) {
  view.text[0] = "IDE 0: ATAPI Driver: ";
  handlers.FixClicked();
  handlers.FixClicked();
  const std::string block =
      "Fixing problem...IDE 0: Successfully wrote ResetErrorCountersOnSuccess to registry\r\n"
      "Retesting settings (please check results)\r\n<test>\r\n";
  EXPECT_EQ("IDE 0: ATAPI Driver: " + block + block, view.text[0]);
  EXPECT_EQ(2u, boxes.shown.size());
  EXPECT_EQ(2, TestRuns::count);
}

TEST_F(Form1Test, FixSurvivesABoxThatRefusesEverything) {
  view.failing = {"AppendText"};
  handlers.FixClicked();
  EXPECT_EQ(1, TestRuns::count);  // the retest runs, though its own appends throw
  EXPECT_EQ(1u, boxes.shown.size());  // both writes succeeded
  // One entry per refused line: two "Fixing", two success lines, two retest lines, the retest.
  EXPECT_EQ(7u, log.entries.size());
}

// ---- Web links ----

TEST_F(Form1Test, LinksHandTheirAddressToTheShell) {
  handlers.HotfixClicked();
  handlers.MakerClicked();
  handlers.HotfixClicked();
  EXPECT_EQ((std::vector<std::string>{"R:http://support.microsoft.com/?kbid=817472",
                                      "R:http://www.example.com/kestrad/",
                                      "R:http://support.microsoft.com/?kbid=817472"}),
            support.console);
  EXPECT_TRUE(view.journal.empty());
}

TEST_F(Form1Test, LinksWithoutTheLibraryLogOneEntryAndLeaveTheWindowAlone) {
  support.failing.insert("ShellRun");
  handlers.MakerClicked();
  ASSERT_EQ(1u, log.entries.size());
  EXPECT_EQ(EventType::Error, log.entries[0].type);
  EXPECT_EQ("\r\nError: 453 (Entry point ShellRun not found in tamarak9.dll) occured",
            log.entries[0].text);
  EXPECT_TRUE(view.journal.empty());
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace kestrad
