#include "common/event_log_win32.h"

#include <windows.h>

#include "common/unique_handle_win32.h"
#include "messages.h"
#include "program_config.h"
#include "support/tamarak9_binding_win32.h"

namespace kestrad {

namespace {
constexpr char kSourceName[] = KESTRAD_NAME;

// One event id per kind of entry, so that collectors can filter on it: a
// Warning is a failed check, an Information a passed one, an Error a
// run-time failure caught by an error trap.
DWORD EventId(EventType type) {
  switch (type) {
    case EventType::Warning: return MSG_CHECK_FAILED;
    case EventType::Information: return MSG_CHECK_PASSED;
    case EventType::Error: break;
  }
  return MSG_RUN_TIME_FAILURE;
}
}  // namespace

void Win32EventLog::Report(EventType type, const std::string& text) {
  // ADVAPI32 is delay-loaded: a healthy boot-time check writes no entry and
  // does not load it. Without it there is no event log to write to.
  if (!TryLoadSystemLibrary("advapi32.dll")) return;
  // A source opened per entry: entries are rare, and nothing stays open
  // between them.
  const UniqueEventSource source(RegisterEventSourceA(nullptr, kSourceName));
  if (!source) return;
  const char* strings[1] = {text.c_str()};
  ReportEventA(source.get(), static_cast<WORD>(type), 0, EventId(type), nullptr, 1, 0, strings,
               nullptr);
}

}  // namespace kestrad
