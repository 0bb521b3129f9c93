// The system's application event log, as the program writes to it.
#pragma once

#include <string>

namespace kestrad {

enum class EventType { Error = 1, Warning = 2, Information = 4 };

// Each kind of entry has an event id of its own, so that a collector can
// filter on it. The message table (app/messages.mc) has one message per id.
enum class EventId : unsigned {
  CheckFailed = 1000,     // Warning: DMA switched off on a channel, or "/DEBUG"
  CheckPassed = 1001,     // Information: a passed check, with "/LOG"
  RunTimeFailure = 1002,  // Error: a failure caught by an error trap
  NothingRead = 1003,     // Information: neither channel could be read, with "/LOG"
  RepairWritten = 1004,   // Information: "/FIX" wrote the repair value
  NotRun = 1005,          // Error: an unattended run refused its command line
};
// Every id above: the message table has a message for each and for no other.
inline constexpr EventId kEventIds[] = {EventId::CheckFailed,    EventId::CheckPassed,
                                        EventId::RunTimeFailure, EventId::NothingRead,
                                        EventId::RepairWritten,  EventId::NotRun};

class EventLog {
 public:
  virtual ~EventLog() = default;
  // Writes one entry. Never throws: a log that cannot be written is dropped.
  virtual void Report(EventType type, EventId id, const std::string& text) = 0;
  // From now on the entries go to the application log of `machine` (its
  // name without a leading "\\"; empty: this machine's again), so that each
  // machine's log keeps its own history.
  virtual void MoveTo(const std::string& machine) = 0;
};

}  // namespace kestrad
