// What Form1 does on load and when its buttons are pressed, apart from any
// window system: the handlers reach the window, the support library and the
// event log only through these seams.
#pragma once

#include <string>

#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1.h"

namespace kestrad {

// The title is these two around the program's version.
inline constexpr char kTitleLead[] = "ATAPI Disk DMA Test v";
inline constexpr char kTitleTail[] = " - Troubleshoot a Win XP/2K system for PIO-mode slowdown";
inline constexpr char kRebootPrompt[] =
    "You should reboot your system as soon as possible to activate the new settings";
inline constexpr char kRebootTitle[] = "Reboot required";

class Form1Handlers {
 public:
  Form1Handlers(Support& support, EventLog& log, Form1& form)
      : support_(support), log_(log), form_(form) {}

  // Form_Load: shows the window, sets title and tooltips, disables Fix and
  // appends the driver identification.
  void Form_Load();
  // Command1_Click, Test: one windowed channel test.
  void Command1_Click();
  // Command3_Click, Fix: writes the repair value for both channels,
  // reports, retests and asks for a reboot when a write succeeded.
  void Command3_Click();
  // Command4_Click and Command5_Click: the two web links.
  void Command4_Click();
  void Command5_Click();

  // Runs the handler of `button`, as its click does: the one map of buttons
  // to handlers, for the window and the tests' fake alike. False for a
  // control without one (Exit is the window's own).
  bool Click(form1::ControlId button);

 private:
  void OpenAddress(const char* address);

  Support& support_;
  EventLog& log_;
  Form1& form_;
};

}  // namespace kestrad
