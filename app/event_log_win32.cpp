#include "app/event_log_win32.h"

#include <windows.h>

#include "messages.h"
#include "program_config.h"
#include "win32/system_library.h"
#include "win32/unique_handle.h"

namespace kestrad {

namespace {
constexpr char kSourceName[] = KESTRAD_NAME;

// The message table's ids are the program's.
static_assert(MSG_CHECK_FAILED == static_cast<DWORD>(EventId::CheckFailed));
static_assert(MSG_CHECK_PASSED == static_cast<DWORD>(EventId::CheckPassed));
static_assert(MSG_RUN_TIME_FAILURE == static_cast<DWORD>(EventId::RunTimeFailure));
static_assert(MSG_NOTHING_READ == static_cast<DWORD>(EventId::NothingRead));
static_assert(MSG_REPAIR_WRITTEN == static_cast<DWORD>(EventId::RepairWritten));
static_assert(MSG_NOT_RUN == static_cast<DWORD>(EventId::NotRun));
// The entry types are the system's.
static_assert(static_cast<WORD>(EventType::Error) == EVENTLOG_ERROR_TYPE);
static_assert(static_cast<WORD>(EventType::Warning) == EVENTLOG_WARNING_TYPE);
static_assert(static_cast<WORD>(EventType::Information) == EVENTLOG_INFORMATION_TYPE);
}  // namespace

void Win32EventLog::Report(EventType type, EventId id, const std::string& text) {
  // ADVAPI32 is delay-loaded: a healthy boot-time check writes no entry and
  // does not load it. Without it there is no event log to write to.
  if (LoadSystemLibrary(L"advapi32.dll") == nullptr) return;
  // A source opened per entry: entries are rare, and nothing stays open
  // between them.
  const UniqueEventSource source(
      RegisterEventSourceA(server_.empty() ? nullptr : server_.c_str(), kSourceName));
  if (!source) return;
  const char* strings[1] = {text.c_str()};
  ReportEventA(source.get(), static_cast<WORD>(type), 0, static_cast<DWORD>(id), nullptr, 1, 0,
               strings, nullptr);
}

}  // namespace kestrad
