#include "common/error_trap.h"

namespace kestrad {

std::string TrapMessage(TrapWording wording, long number, const std::string& description) {
  const std::string n = std::to_string(number);
  switch (wording) {
    case TrapWording::Main:
      return "Error: " + n + " (" + description + ") occured in Main()";
    case TrapWording::TestIDE:
      return "Error: " + n + " (" + description + ") occured in TestIDE()";
    case TrapWording::Window:
      return "Error: " + n + " (" + description + ") occured";
    case TrapWording::IsDLLInstalled:
      return "Error " + n + " - (" + description + ") in IsDLLInstalled";
  }
  return {};
}

std::string TrapLogText(TrapWording wording, long number, const std::string& description) {
  const bool two_breaks = wording == TrapWording::Main || wording == TrapWording::TestIDE;
  return std::string(two_breaks ? "\r\n\r\n" : "\r\n") + TrapMessage(wording, number, description);
}

void ErrorTrap::Trapped(long number, const std::string& description) {
  last_message_ = TrapMessage(wording_, number, description);
  last_description_ = description;
  log_.Report(EventType::Error, EventId::RunTimeFailure,
              TrapLogText(wording_, number, description));
}

}  // namespace kestrad
