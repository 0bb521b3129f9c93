// The main window Form1, as the program's code sees it: the start-up loads
// it, the channel test and the driver identification fill it, and its
// handlers work on it. The product implements it in plain Win32
// (form1_win32), the unit tests with a fake that records every control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/form1_layout.h"

namespace kestrad {

// Every operation but Loaded is one guarded step of its caller: it may throw
// RunError.
class Form1 {
 public:
  virtual ~Form1() = default;

  // Creates the window if need be and runs its load handler, which shows
  // it; nothing when it is loaded already.
  virtual void Load() = 0;
  virtual bool Loaded() const = 0;

  // What the channel test and the driver identification touch.
  virtual void SetCaption(int channel, Indicator box, const std::string& caption) = 0;
  virtual void SetState(int channel, Indicator box, CheckState state) = 0;
  virtual void SetColour(int channel, Indicator box, std::uint32_t colour) = 0;
  // Appends to the channel's text box, after whatever it holds.
  virtual void AppendText(int channel, const std::string& piece) = 0;
  virtual std::size_t TextLength(int channel) = 0;
  virtual void SetSelStart(int channel, std::size_t position) = 0;
  virtual void SetFixEnabled(bool enabled) = 0;
  virtual void GetDriverVersions() = 0;

  // What only the load handler sets.
  virtual void Show() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetTooltip(form1::ControlId control, const std::string& text) = 0;

  // The Fix handler's box: an information icon and one OK button; returns
  // when it is dismissed.
  virtual void ShowInformation(const std::string& prompt, const std::string& title) = 0;
};

// Form1 as the code references it: the first reference loads the window, as
// any reference to an unloaded form does.
inline Form1& Referenced(Form1& form) {
  if (!form.Loaded()) form.Load();
  return form;
}

}  // namespace kestrad
