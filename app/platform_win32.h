// The start-up's platform on Win32: the command line, message boxes, the end.
#pragma once

#include "app/platform.h"

namespace kestrad {

class Win32Platform : public Platform {
 public:
  std::string ArgumentText() override;
  std::vector<std::string> PastedDashes() override;
  std::string ComputerName() override;
  void ShowMessageBox(const std::string& prompt, const std::string& title, BoxStyle style) override;
  void EndProgram(int exit_code) override;
  std::string ReadFile(const std::string& path) override;
  std::unique_ptr<EventLog> NewEventLog() override;
  void SideBySide(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job,
                  const std::function<void(std::size_t)>& done) override;
};

// The process's error mode for a run: no system box waits for a person (a
// missing disk or an unopenable file is an error returned to the program),
// and a script's run (`unattended`) ends on a crash instead of showing its
// dialog. Set first thing, before the support library is looked for.
void SetErrorModeOfRun(bool unattended);

}  // namespace kestrad
