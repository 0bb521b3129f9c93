#include "app/usage.h"

#include "common/program.h"

namespace kestrad {

namespace {
constexpr char kAttribution[] = " - " KESTRAD_MAKER;
constexpr std::int32_t kIntenseWhiteText = 15;
constexpr std::int32_t kBlueBackground = 16;

// The texts handed to WriteLn after the banner, in order.
constexpr const char* kUsageLines[] = {
    "\r\n",
    "DMA mode-test utility for Windows XP/2000 (may work in Vista - untested)",
    "Checks IDE Channels 1 and 2 to see if DMA/UDMA is enabled OK",
    "Can be set to check silently at boot time as a console-application",
    "Default is to open a window for user-intactive testing",
    "You can put " KESTRAD_NAME " in your startup folder to check at each boot",
    "This is a dual console/Windows application",
    "\r\nSyntax:\r\n",
    KESTRAD_NAME " [switches]\r\n",
    "/CHECK     Check UDMA modes manually and silently",
    "/LOG       Log all events (not just failures)",
    "/QUIET     Check for scripts: no box, no window; the exit code tells",
    "/FIX       Check as /QUIET, then write the repair where it is needed",
    "/REPORT    Write both channels' settings to standard output as CSV",
    "/NH        With /REPORT: leave the header line out",
    "/S MACHINE Check, repair or report another machine through its registry",
    "/DEBUG     With /CHECK: take the warning road whatever the check finds",
    "",
    "Absolutely NO warranty",
    "Website: " KESTRAD_WEBSITE,
};

}  // namespace

std::string UsageBanner() {
  // The trailing blanks are part of the coloured bar.
  return std::string(7, ' ') + kProgramName + " v" + kVersion + " " + kReleaseDate + kAttribution +
         std::string(23, ' ');
}

void ShowUsage(Support& support, ErrorTrap& trap, bool may_pause) {
  trap.Run([&] { support.OpenConsole(); });
  // Only a console that says it is ready gets the screen. A test that fails
  // enters the branch it guards, which is printing nothing, as a failed
  // InNativeConsole below enters the pause it guards.
  if (trap.Decide([&] { return !support.ConsoleOpen(); })) return;
  trap.Run([&] { support.SetConsoleAttributes(kIntenseWhiteText, kBlueBackground); });
  trap.Run([&] { support.Writes(UsageBanner()); });
  trap.Run([&] { support.ClearConsoleAttributes(); });
  for (const char* line : kUsageLines) {
    trap.Run([&] { support.WriteLn(line); });
  }
  if (may_pause && trap.Decide([&] { return !support.InNativeConsole(); })) {
    trap.Run([&] { support.WriteLn(""); });
    trap.Run([&] { support.Pause("Press a key..."); });
  }
}

}  // namespace kestrad
