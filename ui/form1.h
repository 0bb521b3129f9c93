// The main window Form1, as the program's code sees it: the start-up loads
// it, the channel test and the driver identification fill it, and its
// handlers work on it. The product implements it in plain Win32
// (form1_win32), the unit tests with a fake that records every control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "check/channel_view.h"
#include "ui/form1_layout.h"

namespace kestrad {

// The main window: what the channel test shows (check/channel_view.h) and
// what the load and Fix handlers set. Every operation but Loaded is one
// guarded step of its caller: it may throw RunError.
class Form1 : public ChannelView {
 public:
  // What only the load handler sets.
  virtual void Show() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetTooltip(form1::ControlId control, const std::string& text) = 0;

  // The Fix handler's box: an information icon and one OK button; returns
  // when it is dismissed.
  virtual void ShowInformation(const std::string& prompt, const std::string& title) = 0;
};

}  // namespace kestrad
