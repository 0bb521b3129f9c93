// What the start-up needs from the system besides the support library.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/event_log.h"

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
  // The whole of a file (a list of machines); throws RunError with the
  // system's error when it cannot be read.
  virtual std::string ReadFile(const std::string& path) = 0;
  // A log of its own for one machine of a list, so that each worker moves
  // its own to its machine: the program's event log, as the one it has.
  virtual std::unique_ptr<EventLog> NewEventLog() = 0;
  // Runs job(0) to job(count - 1), at most `width` at once, each on a thread
  // of its own, and calls done(i) here, on the calling thread, as each one
  // ends, in the order they end. Returns when every job has ended. A job
  // shares nothing with another; what it leaves is read in its done().
  virtual void SideBySide(std::size_t count, std::size_t width,
                          const std::function<void(std::size_t)>& job,
                          const std::function<void(std::size_t)>& done) = 0;
  // Ends the program at once with its exit code. The product does not
  // return from it.
  virtual void EndProgram(int exit_code) = 0;
};

}  // namespace kestrad
