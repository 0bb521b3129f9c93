// kestrad.exe: a console program that opens its own window.
#include <windows.h>

#include "app/event_log_win32.h"
#include "app/platform_win32.h"
#include "app/process_search_paths_win32.h"
#include "app/startup.h"
#include "app/switches.h"
#include "support/tamarak9_binding_win32.h"
#include "ui/form1_win32.h"

int main() {
  kestrad::Win32Platform platform;
  // First of all: no system box may wait for a person (a drive without a
  // disk in PATH, while the support library is looked for), and a script's
  // run, told from the command line alone, ends on a crash.
  kestrad::SetErrorModeOfRun(
      kestrad::SwitchesOfText(platform.ArgumentText(), platform.PastedDashes()).Unattended());

  // Before the first load of the support library: a tamarak9.dll planted in
  // whatever folder the user starts from must not be picked up.
  kestrad::HardenProcessSearchPaths();

  auto support = kestrad::MakeTamarak9Binding();
  kestrad::Win32EventLog log;
  // Nothing of the window system is loaded until the window is.
  auto form = kestrad::MakeForm1(GetModuleHandleA(nullptr), *support, log);

  const int exit_code = static_cast<int>(kestrad::Main(*support, log, platform, *form));

  // With the window loaded the program lives on in its message loop, and
  // ends with the start-up's exit code when the window closes.
  if (form->Loaded()) form->RunUntilUnloaded();
  return exit_code;
}
