#include "app/platform_win32.h"

#include "app/command_line.h"
#include "support/tamarak9_binding_win32.h"
#include "ui/form1_win32.h"

namespace kestrad {

Form1Host& LazyForm1::Host() {
  if (!host_) {
    LoadSystemLibrary("user32.dll");
    LoadSystemLibrary("gdi32.dll");
    host_ = MakeForm1(instance_, support_, log_);
  }
  return *host_;
}

std::string Win32Platform::CommandLineArgs() { return ArgumentText(GetCommandLineA()); }

void Win32Platform::ShowMessageBox(const std::string& prompt, const std::string& title,
                               BoxStyle style) {
  // The boot-time boxes have no owner window; MB_SETFOREGROUND keeps them
  // from opening behind whatever the user started at log-on.
  LoadSystemLibrary("user32.dll");
  MessageBoxA(nullptr, prompt.c_str(), title.c_str(),
              MB_OK | static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Platform::EndProgram(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

}  // namespace kestrad
