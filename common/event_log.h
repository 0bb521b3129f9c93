// The system's application event log, as the program writes to it.
#pragma once

#include <string>

namespace kestrad {

enum class EventType { Error = 1, Warning = 2, Information = 4 };

class EventLog {
 public:
  virtual ~EventLog() = default;
  // Writes one entry. Never throws: a log that cannot be written is dropped.
  virtual void Report(EventType type, const std::string& text) = 0;
};

}  // namespace kestrad
