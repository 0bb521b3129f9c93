// The main window in plain Win32, with the thread's message loop.
#pragma once

#include <windows.h>

#include <memory>

#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1.h"

namespace kestrad {

class Win32Form1 : public Form1 {
 public:
  // Runs the message loop until the window is unloaded.
  virtual void RunUntilUnloaded() = 0;
  // Handles one message of the thread's queue as the loop does (the dialog
  // keys first); waits for one when `wait` is set. False when there was
  // none, or the loop is to end.
  virtual bool HandleMessage(bool wait) = 0;
};

// Creating it touches no window DLL: they are loaded when the window is.
std::unique_ptr<Win32Form1> MakeForm1(HINSTANCE instance, Support& support, EventLog& log);

}  // namespace kestrad
