#include "common/event_log_win32.h"

#include <windows.h>

#include "common/unique_handle_win32.h"

namespace kestrad {

namespace {
constexpr char kSourceName[] = "KESTRAD";
constexpr DWORD kEventId = 1000;
}  // namespace

void Win32EventLog::Report(EventType type, const std::string& text) {
  // A source opened per entry: entries are rare, and nothing stays open
  // between them.
  const UniqueEventSource source(RegisterEventSourceA(nullptr, kSourceName));
  if (!source) return;
  const char* strings[1] = {text.c_str()};
  ReportEventA(source.get(), static_cast<WORD>(type), 0, kEventId, nullptr, 1, 0, strings, nullptr);
}

}  // namespace kestrad
