#include "check/channel_check.h"

#include <array>
#include <string>

#include "common/registry_layout.h"
#include "common/error_trap.h"
#include "common/program.h"

namespace kestrad {

namespace {

struct ChannelTexts {
  const char* dma_enabled_line;
  std::array<const char*, 3> dma_disabled_lines;
  const char* missing_repair_line;
  const char* not_retrieved_prefix;
};

const ChannelTexts kChannelTexts[2] = {
    {"IDE 0: DMA is enabled OK - no action should be required",
     {"WARNING: DMA does not appear to be enabled for the Primary IDE channel (IDE 0)",
      "You may be having serious performance issues due to PIO mode being enabled",
      "Check in settings for IDE 0 in Control Panel->System->Device Manager"},
     "Registry key missing - ResetErrorCountersOnSuccessPrimary is missing for the Primary IDE "
     "channel",
     "Couldn't retrieve IDE0 "},
    {"IDE 1: DMA is enabled OK - no action should be required",
     {"WARNING: DMA does not appear to be enabled for the Secondary IDE channel (IDE 1)",
      "You may be having serious performance issues due to PIO mode being enabled",
      "Check in settings for IDE 1 in Control Panel->System->Device Manager"},
     "Registry key missing - ResetErrorCountersOnSuccessPrimary is missing for the Secondary IDE "
     "channel",
     "Couldn't retrieve IDE1 "},
};

// 80 hyphens and the line end.
constexpr char kSeparator[] =
    "----------------------------------------"
    "----------------------------------------\r\n";
static_assert(sizeof kSeparator == 80 + 2 + 1, "the separator is 80 hyphens");

// One run of the test: every operation is a step of the run's trap.
class Run {
 public:
  Run(bool windowed, Support& support, EventLog& log, ChannelView& view, std::uint32_t hive)
      : windowed_(windowed),
        support_(support),
        trap_(log, TrapWording::TestIDE),
        view_(view),
        hive_(hive) {}

  Findings findings() const {
    Findings found;
    found.verdict = dma_off_                   ? Verdict::DmaOff
                    : judged_[0] || judged_[1] ? Verdict::DmaInUse
                                               : Verdict::NothingRead;
    found.judged[0] = judged_[0];
    found.judged[1] = judged_[1];
    return found;
  }

  void Execute() {
    if (windowed_) OnWindow([](ChannelView& w) { w.SetFixEnabled(false); });
    JudgeDma(0);
    JudgeDma(1);
    if (!windowed_) return;
    JudgeRepairValue(0);
    JudgeRepairValue(1);
    for (int channel = 0; channel < 2; ++channel) {
      for (const DetectionValue& value : kDetectionValues) JudgeDetectionValue(channel, value);
    }
    for (int channel = 0; channel < 2; ++channel) AppendLine(channel, kSeparator, false);
    OnWindow([](ChannelView& w) { w.GetDriverVersions(); });
    for (int channel = 0; channel < 2; ++channel) {
      OnWindow([channel](ChannelView& w) { w.SetSelStart(channel, w.TextLength(channel)); });
    }
  }

 private:
  // A read that fails at run time counts as not read.
  bool Read(const std::string& key, const char* name) {
    read_ = false;
    if (!trap_.Run([&] { read_ = support_.ReadDWORDFromRegistry(hive_, key, name, value_); })) {
      read_ = false;
    }
    return read_;
  }

  template <class Op>
  void OnWindow(Op op) {
    trap_.Run([&] { op(Referenced(view_)); });
  }

  void Caption(int channel, Indicator box, const std::string& text) {
    OnWindow([&](ChannelView& w) { w.SetCaption(channel, box, text); });
  }
  void State(int channel, Indicator box, CheckState state) {
    OnWindow([&](ChannelView& w) { w.SetState(channel, box, state); });
  }
  void Colour(int channel, Indicator box, std::uint32_t colour) {
    OnWindow([&](ChannelView& w) { w.SetColour(channel, box, colour); });
  }
  void AppendLine(int channel, const std::string& line, bool end_line = true) {
    OnWindow([&](ChannelView& w) { w.AppendText(channel, end_line ? line + kLineEnd : line); });
  }
  void EnableFix() {
    OnWindow([](ChannelView& w) { w.SetFixEnabled(true); });
  }

  void JudgeDma(int channel) {
    const ChannelTexts& texts = kChannelTexts[channel];
    const Indicator box = Indicator::DMAEnabled;
    if (Read(layout::PortMapKey(channel), layout::kDmaValue)) {
      judged_[channel] = true;
      if (DmaEnabled(value_)) {
        if (!windowed_) return;
        Caption(channel, box, "DMA is enabled OK");
        State(channel, box, CheckState::Checked);
        Colour(channel, box, kBlack);
        AppendLine(channel, texts.dma_enabled_line);
      } else {
        dma_off_ = true;
        if (!windowed_) return;
        Caption(channel, box, "DMA is NOT enabled - (poss PIO mode)");
        State(channel, box, CheckState::Grayed);
        Colour(channel, box, kRed);
        for (const char* line : texts.dma_disabled_lines) AppendLine(channel, line);
        EnableFix();
      }
    } else if (windowed_) {
      Caption(channel, box, "Could not read the registry setting");
      State(channel, box, CheckState::Grayed);
    }
  }

  void JudgeRepairValue(int channel) {
    const Indicator box = Indicator::ResetError;
    if (Read(layout::ChannelInstanceKey(channel), layout::kRepairValue)) {
      State(channel, box, CheckState::Checked);
      Colour(channel, box, kBlack);
      Caption(channel, box, "ResetErrorCountersOnSuccess (OK)");
    } else {
      State(channel, box, CheckState::Grayed);
      Colour(channel, box, kRed);
      Caption(channel, box, "ResetErrorCountersOnSuccess (KEY MISSING)");
      AppendLine(channel, kChannelTexts[channel].missing_repair_line);
      EnableFix();
    }
  }

  void JudgeDetectionValue(int channel, const DetectionValue& value) {
    const bool read = Read(layout::ChannelInstanceKey(channel), value.name);
    // The bare name first, so no caption keeps the suffix of an earlier run.
    Caption(channel, value.box, value.name);
    if (read) {
      State(channel, value.box, CheckState::Checked);
      Caption(channel, value.box, std::string(value.name) + " (" + std::to_string(value_) + ")");
      return;
    }
    State(channel, value.box, CheckState::Grayed);
    if (value.absent_turns_red) {
      Colour(channel, value.box, kRed);
    } else {
      Caption(channel, value.box, std::string(value.name) + " (NOT SET)");
    }
    AppendLine(channel, kChannelTexts[channel].not_retrieved_prefix + std::string(value.name));
  }

  const bool windowed_;
  Support& support_;
  ErrorTrap trap_;
  ChannelView& view_;
  const std::uint32_t hive_;
  bool dma_off_ = false;
  bool judged_[2] = {false, false};
  std::int32_t value_ = 0;
  bool read_ = false;
};

}  // namespace

Findings TestIDE(bool update_window, Support& support, EventLog& log, ChannelView& view,
                 std::uint32_t hive) {
  Run run(update_window, support, log, view, hive);
  run.Execute();
  return run.findings();
}

}  // namespace kestrad
