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

std::vector<std::string> Win32Platform::PastedDashes() {
  std::vector<std::string> dashes;
  for (const wchar_t dash : {L'\u2013', L'\u2014'}) {
    char bytes[8] = {};
    BOOL lacking = FALSE;
    // A code page without the dash would give its default character, or a
    // plain "-" as the closest one: neither is the pasted dash. UTF-8 has
    // every character, and takes neither the flag nor the question.
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, &dash, 1, bytes,
                                      sizeof bytes, nullptr, utf8 ? nullptr : &lacking);
    if (n > 0 && !lacking) dashes.emplace_back(bytes, static_cast<std::size_t>(n));
  }
  return dashes;
}

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

void SetErrorModeOfRun(bool unattended) {
  // Every flag is known to Windows 2000; the mode inherited from the parent
  // is kept.
  const UINT mode =
      SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | (unattended ? SEM_NOGPFAULTERRORBOX : 0u);
  SetErrorMode(SetErrorMode(0) | mode);
}

}  // namespace kestrad
