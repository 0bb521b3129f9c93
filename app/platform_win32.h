// The start-up's platform on Win32: command line, message boxes, the window.
#pragma once

#include <windows.h>

#include <memory>

#include "app/platform.h"
#include "ui/form1.h"

namespace kestrad {

// Form1 as the program references it: created on first reference.
class LazyForm1 : public WindowRef {
 public:
  LazyForm1(HINSTANCE instance, Support& support, EventLog& log)
      : instance_(instance), support_(support), log_(log) {}

  ChannelWindow& Window() override { return Host().Window(); }
  void Load() { Host().Load(); }
  bool Loaded() const { return host_ && host_->Loaded(); }
  void RunUntilUnloaded() {
    if (host_) host_->RunUntilUnloaded();
  }

 private:
  Form1Host& Host();

  HINSTANCE instance_;
  Support& support_;
  EventLog& log_;
  std::unique_ptr<Form1Host> host_;
};

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(LazyForm1& form) : form_(form) {}

  std::string CommandLineArgs() override;
  void ShowMessageBox(const std::string& prompt, const std::string& title, BoxStyle style) override;
  void LoadForm1() override { form_.Load(); }
  void EndProgram(int exit_code) override;

 private:
  LazyForm1& form_;
};

}  // namespace kestrad
