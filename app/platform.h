// What the start-up needs from the system besides the support library.
#pragma once

#include <string>
#include <vector>

namespace kestrad {

enum class BoxStyle { Critical = 16, Exclamation = 48, Information = 64 };

class Platform {
 public:
  virtual ~Platform() = default;
  // The command line without the program's own path.
  virtual std::string ArgumentText() = 0;
  // The en and em dash in the ANSI code page, each as its bytes (none that
  // the code page lacks): a word processor's "-" pasted into a command line.
  virtual std::vector<std::string> PastedDashes() = 0;
  // The computer's (NetBIOS) name, in the ANSI code page.
  virtual std::string ComputerName() = 0;
  // A modal box with one OK button; returns when it is dismissed.
  virtual void ShowMessageBox(const std::string& prompt, const std::string& title,
                              BoxStyle style) = 0;
  // Ends the program at once with its exit code. The product does not
  // return from it.
  virtual void EndProgram(int exit_code) = 0;
};

}  // namespace kestrad
