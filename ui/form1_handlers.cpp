#include "ui/form1_handlers.h"

#include "check/channel_check.h"
#include "common/registry_layout.h"
#include "common/error_trap.h"
#include "common/program.h"

namespace kestrad {

namespace {
constexpr char kFixing[] = "Fixing problem...";
constexpr char kRetesting[] = "Retesting settings (please check results)";
constexpr char kWritten[] = ": Successfully wrote ResetErrorCountersOnSuccess to registry";
}  // namespace

void Form1Handlers::Form_Load() {
  ErrorTrap trap(log_, TrapWording::Window);
  trap.Run([&] { form_.Show(); });
  trap.Run([&] { form_.SetTitle(std::string(kTitleLead) + kVersion + kTitleTail); });
  for (form1::ControlId id : form1::TooltipOrder()) {
    trap.Run([&] { form_.SetTooltip(id, form1::Spec(id).tooltip); });
  }
  trap.Run([&] { form_.SetFixEnabled(false); });
  trap.Run([&] { form_.GetDriverVersions(); });
}

void Form1Handlers::Command1_Click() { TestIDE(true, support_, log_, form_, kHiveLocalMachine); }

void Form1Handlers::Command3_Click() {
  ErrorTrap trap(log_, TrapWording::Window);
  // A trapped failure is also shown in both boxes. Should a box refuse that
  // line as well, the failure is already in the event log: nothing more.
  auto step = [&](auto&& body) {
    if (trap.Run(body)) return;
    for (int ch = 0; ch < 2; ++ch) {
      try {
        form_.AppendText(ch, trap.last_message() + kLineEnd);
      } catch (...) {
      }
    }
  };
  auto append = [&](int ch, const std::string& text) { step([&] { form_.AppendText(ch, text); }); };

  bool written = false;
  append(0, kFixing);
  append(1, kFixing);
  for (int ch = 0; ch < 2; ++ch) {
    // A write that throws counts as not written: the outcome stays false.
    bool ok = false;
    step([&] {
      ok = support_.WriteDWORDToRegistry(kHiveLocalMachine, layout::ChannelInstanceKey(ch),
                                         layout::kRepairValue, 1);
    });
    written = written || ok;
    const std::string outcome = ok ? kWritten : std::string(": ") + layout::kRepairNotWritten;
    append(ch, layout::kChannelNames[ch] + outcome + kLineEnd);
  }
  append(0, std::string(kRetesting) + kLineEnd);
  append(1, std::string(kRetesting) + kLineEnd);
  step([&] { TestIDE(true, support_, log_, form_, kHiveLocalMachine); });
  if (written) step([&] { form_.ShowInformation(kRebootPrompt, kRebootTitle); });
}

void Form1Handlers::Command4_Click() { OpenAddress(kKnowledgeBaseAddress); }

void Form1Handlers::Command5_Click() { OpenAddress(kWebsite); }

bool Form1Handlers::Click(form1::ControlId button) {
  static constexpr struct {
    form1::ControlId button;
    void (Form1Handlers::*click)();
  } kClicks[] = {
      {form1::ControlId::Command1, &Form1Handlers::Command1_Click},
      {form1::ControlId::Command3, &Form1Handlers::Command3_Click},
      {form1::ControlId::Command4, &Form1Handlers::Command4_Click},
      {form1::ControlId::Command5, &Form1Handlers::Command5_Click},
  };
  for (const auto& click : kClicks) {
    if (click.button != button) continue;
    (this->*click.click)();
    return true;
  }
  return false;
}

void Form1Handlers::OpenAddress(const char* address) {
  ErrorTrap trap(log_, TrapWording::Window);
  trap.Run([&] { support_.ShellRun(address); });
}

}  // namespace kestrad
