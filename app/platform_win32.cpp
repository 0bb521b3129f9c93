#include "app/platform_win32.h"

#include <windows.h>

#include "app/command_line.h"
#include "win32/system_library.h"

namespace kestrad {

// The box styles are the system's icons.
static_assert(static_cast<UINT>(BoxStyle::Critical) == MB_ICONHAND);
static_assert(static_cast<UINT>(BoxStyle::Exclamation) == MB_ICONEXCLAMATION);
static_assert(static_cast<UINT>(BoxStyle::Information) == MB_ICONINFORMATION);

std::string Win32Platform::ArgumentText() { return kestrad::ArgumentText(GetCommandLineA()); }

std::string Win32Platform::ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

void Win32Platform::ShowMessageBox(const std::string& prompt, const std::string& title,
                                   BoxStyle style) {
  // The boot-time boxes have no owner window; MB_SETFOREGROUND keeps them
  // from opening behind whatever the user started at log-on.
  RequireSystemLibrary(L"user32.dll");
  MessageBoxA(nullptr, prompt.c_str(), title.c_str(),
              MB_OK | static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Platform::EndProgram(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

}  // namespace kestrad
