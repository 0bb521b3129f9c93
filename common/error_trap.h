// The error trap every procedure arms on entry.
//
// A trapped step that fails is never passed to the caller: the trap formats
// the failure in the procedure's own wording, writes it to the event log as an
// Error entry and lets the procedure carry on with its next step.
#pragma once

#include <new>
#include <string>
#include <utility>

#include "common/event_log.h"
#include "common/run_error.h"

namespace kestrad {

// The procedures' wordings of a trapped failure.
enum class TrapWording {
  Main,            // "\r\n\r\nError: N (desc) occured in Main()"
  TestIDE,         // "\r\n\r\nError: N (desc) occured in TestIDE()"
  Window,          // "\r\nError: N (desc) occured"
  IsDLLInstalled,  // "\r\nError N - (desc) in IsDLLInstalled"
};

// The message body, without the line breaks that precede it in the log.
std::string TrapMessage(TrapWording wording, long number, const std::string& description);
// The whole event-log text: the leading line breaks and the message.
std::string TrapLogText(TrapWording wording, long number, const std::string& description);

class ErrorTrap {
 public:
  ErrorTrap(EventLog& log, TrapWording wording) : log_(log), wording_(wording) {}

  // Runs one step. Returns true when it completed; on a RunError (or any
  // other exception) logs it and returns false, and the caller resumes with
  // its next step. A MachineLost goes on to the caller.
  template <class Step>
  bool Run(Step&& step) {
    try {
      std::forward<Step>(step)();
      return true;
    } catch (const MachineLost&) {
      throw;
    } catch (const RunError& e) {
      Trapped(e.number(), e.description());
    } catch (const std::bad_alloc&) {
      Trapped(classic_error::kOutOfMemory, "Out of memory");
    } catch (const std::exception& e) {
      Trapped(classic_error::kInvalidCall, e.what());
    }
    return false;
  }

  // Inside a catch block: reports the exception being handled as Run
  // reports a failed step.
  void ReportCaught() {
    Run([] { throw; });
  }

  // The test of a decision. When the test itself fails, execution goes on
  // with the first step of the branch that the test guards, so a failed
  // test counts as true.
  template <class Test>
  bool Decide(Test&& test) {
    bool result = true;
    Run([&] { result = std::forward<Test>(test)(); });
    return result;
  }

  // The message of the last trapped failure (without the leading line breaks).
  const std::string& last_message() const { return last_message_; }
  // ... and its description alone.
  const std::string& last_description() const { return last_description_; }

 private:
  void Trapped(long number, const std::string& description);

  EventLog& log_;
  TrapWording wording_;
  std::string last_message_;
  std::string last_description_;
};

}  // namespace kestrad
