// The main window, as the start-up and the entry see it.
#pragma once

#include "check/channel_window.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

class Form1Host : public WindowRef {
 public:
  // Loads Form1 (creating it if needed), which runs its load handler and shows it.
  virtual void Load() = 0;
  // True while the window is loaded.
  virtual bool Loaded() const = 0;
  // Runs the message loop until the window is unloaded.
  virtual void RunUntilUnloaded() = 0;
  // Handles one message of the thread's queue as the loop does (the
  // dialog keys first); waits for one when `wait` is set. False when there
  // was none, or the loop is to end.
  virtual bool HandleMessage(bool wait) = 0;
};

}  // namespace kestrad
