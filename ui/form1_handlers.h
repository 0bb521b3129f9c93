// What Form1 does on load and when its buttons are pressed, apart from any
// window system: the handlers reach the window, the support library, the
// event log and message boxes only through these seams.
#pragma once

#include <cstdint>
#include <string>

#include "check/channel_window.h"
#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1_layout.h"

namespace kestrad {

// The window as its own load handler sees it: the channel test's operations
// plus the few properties only the load handler sets. Each may throw RunError.
class Form1View : public ChannelWindow {
 public:
  virtual void Show() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetTooltip(form1::ControlId control, const std::string& text) = 0;
};

// The window's modal message boxes.
class Form1Boxes {
 public:
  virtual ~Form1Boxes() = default;
  // A box with an information icon and one OK button; returns when dismissed.
  virtual void Information(const std::string& prompt, const std::string& title) = 0;
};

// The channel test, as the Test and Fix buttons run it (TestIDE in the product).
using ChannelTest = std::int16_t (*)(const std::int16_t& update_window, Support& support,
                                     EventLog& log, WindowRef& form);

// The title is these two around the program's version.
inline constexpr char kTitleLead[] = "ATAPI Disk DMA Test v";
inline constexpr char kTitleTail[] = " - Troubleshoot a Win XP/2K system for PIO-mode slowdown";
inline constexpr char kRebootPrompt[] =
    "You should reboot your system as soon as possible to activate the new settings";
inline constexpr char kRebootTitle[] = "Reboot required";

class Form1Handlers {
 public:
  Form1Handlers(Support& support, EventLog& log, WindowRef& form, Form1Boxes& boxes,
                ChannelTest test)
      : support_(support), log_(log), form_(form), boxes_(boxes), test_(test) {}

  // Form_Load: shows the window, sets title and tooltips, disables Fix and
  // appends the driver identification.
  void Load(Form1View& view);
  // Test: one windowed channel test.
  void TestClicked();
  // Fix: writes the repair value for both channels, reports, retests and
  // asks for a reboot when a write succeeded.
  void FixClicked();
  // The two web links.
  void HotfixClicked();
  void MakerClicked();

 private:
  void OpenAddress(const char* address);

  Support& support_;
  EventLog& log_;
  WindowRef& form_;
  Form1Boxes& boxes_;
  ChannelTest test_;
};

}  // namespace kestrad
