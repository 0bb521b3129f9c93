// The start-up's platform on Win32: the command line, message boxes, the end.
#pragma once

#include "app/platform.h"

namespace kestrad {

class Win32Platform : public Platform {
 public:
  std::string ArgumentText() override;
  std::string ComputerName() override;
  void ShowMessageBox(const std::string& prompt, const std::string& title, BoxStyle style) override;
  void EndProgram(int exit_code) override;
};

}  // namespace kestrad
