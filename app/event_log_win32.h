// The application event log through RegisterEventSourceA / ReportEventA.
#pragma once

#include <string>

#include "common/event_log.h"

namespace kestrad {

class Win32EventLog : public EventLog {
 public:
  void Report(EventType type, EventId id, const std::string& text) override;
  void MoveTo(const std::string& machine) override {
    server_ = machine.empty() ? std::string() : "\\\\" + machine;
  }

 private:
  std::string server_;  // empty: this machine
};

}  // namespace kestrad
