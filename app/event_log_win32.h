// The application event log through RegisterEventSourceA / ReportEventA.
#pragma once

#include "common/event_log.h"

namespace kestrad {

class Win32EventLog : public EventLog {
 public:
  void Report(EventType type, EventId id, const std::string& text) override;
};

}  // namespace kestrad
