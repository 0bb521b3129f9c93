#include "app/startup.h"

#include <limits>
#include <string>
#include <vector>

#include "app/machine_list.h"
#include "app/switches.h"
#include "app/usage.h"
#include "check/channel_check.h"
#include "common/error_trap.h"
#include "common/program.h"

namespace kestrad {

namespace {

constexpr char kWarningEntry[] =
    "\r\n\r\n" KESTRAD_NAME " Detected that at least one IDE channel is not using DMA access";
constexpr char kPassedEntry[] =
    "\r\n\r\n" KESTRAD_NAME
    " checked the IDE settings and all channels appear to be using DMA access OK";
// A check that could read neither channel passes, but it must not claim that
// DMA is in use.
constexpr char kNothingReadEntry[] =
    "\r\n\r\n" KESTRAD_NAME
    " could not read the DMA setting of either IDE channel and cannot tell whether DMA is in use";
constexpr char kWarningTitle[] = "Disk Drives Running in Emergency (Slow) IDE Mode";
constexpr char kWarningPrompt[] =
    "DMA appears to be disabled on at least one IDE channel\r\n"
    "Your system may be running much slower than normal\r\n"
    "Test the status manually in the next screen\r\n"
    "\r\n"
    "You may safely ignore this warning message if you wish";

}  // namespace

ExitCode CheckExitCode(Verdict verdict) {
  switch (verdict) {
    case Verdict::DmaOff:
      return ExitCode::DmaOff;
    case Verdict::NothingRead:
      return ExitCode::NothingRead;
    case Verdict::DmaInUse:
      break;
  }
  return ExitCode::DmaInUse;
}

ExitCode FixExitCode(Verdict verdict, RepairOutcome outcome) {
  switch (outcome) {
    case RepairOutcome::Failed:
      return ExitCode::RepairFailed;
    case RepairOutcome::Written:
      return ExitCode::Repaired;
    case RepairOutcome::NothingNeeded:
      break;
  }
  return CheckExitCode(verdict);
}

ExitCode Refuse(const std::string& error, const std::string& reason, Support& support,
                EventLog& log, ErrorTrap& trap) {
  trap.Run([&] {
    support.WriteErrLn("ERROR: " + error + ".");
    support.WriteErrLn(kUsageHint);
  });
  log.Report(EventType::Error, EventId::NotRun, "\r\n\r\n" KESTRAD_NAME " did not run: " + reason);
  trap.Run([&] { support.CloseConsole(); });
  return ExitCode::NotRun;
}

bool IsDLLInstalled(Support& support, EventLog& log) {
  bool result = true;
  ErrorTrap trap(log, TrapWording::IsDLLInstalled);
  if (!trap.Run([&] { support.LibVersion(); })) result = false;
  return result;
}

namespace {

// An unattended run that was asked for something it cannot do: nothing else
// runs. The reason goes to standard error, with the usage hint, and to the
// event log.
ExitCode RefuseToRun(const Switches& switches, Support& support, EventLog& log, ErrorTrap& trap) {
  if (switches.stray) {
    return Refuse("Invalid argument/option - '" + switches.stray_item + "'",
                  "invalid argument/option '" + switches.stray_item + "'", support, log, trap);
  }
  const std::string reason = "/FIX and /REPORT cannot be used together";
  return Refuse(reason, reason, support, log, trap);
}

// Whether the command line asks for a script's run, told when the library
// cannot tell it: the program splits its command line itself, with the
// library's own splitter.
bool UnattendedByItself(Platform& platform, ErrorTrap& trap) {
  bool unattended = false;
  trap.Run([&] {
    unattended = SwitchesOfText(platform.ArgumentText(), platform.PastedDashes()).Unattended();
  });
  return unattended;
}

// The end of a run without the library: the critical box, unless nobody is
// at the machine to press it.
ExitCode EndWithoutLibrary(Platform& platform, ErrorTrap& trap) {
  constexpr char missing[] =
      "DLL " KESTRAD_LIBRARY " not installed or not found in the current path - exiting";
  if (!UnattendedByItself(platform, trap)) {
    trap.Run([&] {
      platform.ShowMessageBox(missing, KESTRAD_LIBRARY " not found", BoxStyle::Critical);
    });
  }
  platform.EndProgram(static_cast<int>(ExitCode::NoLibrary));
  return ExitCode::NoLibrary;
}

// The end of a "/S" run whose machine cannot be reached, or stopped
// answering: this machine's Error entry names it, and standard error says
// why.
ExitCode EndUnreachable(const std::string& name, const RunError& failure, Support& support,
                        EventLog& log, ErrorTrap& trap, bool usage_hint) {
  log.MoveTo("");
  trap.Run([&] {
    throw RunError(failure.number(), "Cannot reach " + name + ": " + failure.description());
  });
  const std::string why = trap.last_description();
  trap.Run([&] {
    support.WriteErrLn("ERROR: " + why + ".");
    if (usage_hint) support.WriteErrLn(kUsageHint);
  });
  trap.Run([&] { support.CloseConsole(); });
  return ExitCode::Unreachable;
}

// "/S": the other machine's registry, and from now on its event log. False
// when it cannot be reached, with `failure` why.
bool ConnectTo(const std::string& name, Support& support, EventLog& log, Machine& machine,
               RunError& failure) {
  machine.name = name;
  try {
    machine.hive = support.ConnectRegistry(name);
  } catch (const RunError& e) {
    failure = e;
    return false;
  } catch (const std::exception& e) {
    failure = RunError(classic_error::kInvalidCall, e.what());
    return false;
  }
  log.MoveTo(name);
  return true;
}

// The boot-time check, and with "/FIX" the repair after it.
ExitCode CheckRoad(const Switches& switches, const Machine& machine, Support& support,
                   EventLog& log, Platform& platform, Form1& form, ErrorTrap& trap) {
  const Findings found = TestIDE(false, support, log, form, machine.hive);
  // A script's check shows nothing: no box, no window.
  const bool quiet = switches.Unattended();
  if (found.verdict == Verdict::DmaOff || switches.debug) {
    log.Report(EventType::Warning, EventId::CheckFailed, kWarningEntry);
    trap.Run([&] { support.CloseConsole(); });
    if (!quiet) {
      trap.Run(
          [&] { platform.ShowMessageBox(kWarningPrompt, kWarningTitle, BoxStyle::Exclamation); });
      trap.Run([&] { form.Load(); });
    }
  } else if (switches.log && found.verdict == Verdict::NothingRead) {
    log.Report(EventType::Information, EventId::NothingRead, kNothingReadEntry);
  } else if (switches.log) {
    log.Report(EventType::Information, EventId::CheckPassed, kPassedEntry);
  }
  if (switches.fix) {
    return FixExitCode(found.verdict, RepairChannels(support, log, trap, found, machine.hive));
  }
  return CheckExitCode(found.verdict);
}

// The usage screen in a script's run: no pause, an entry saying why the
// run did nothing, and the exit code of a refused command line.
ExitCode UsageInsteadOfRun(Support& support, EventLog& log, Platform& platform, ErrorTrap& trap) {
  ShowUsage(support, trap, false);
  log.Report(EventType::Error, EventId::NotRun,
             "\r\n\r\n" KESTRAD_NAME " did not run: the usage screen was asked for");
  trap.Run([&] { support.CloseConsole(); });
  platform.EndProgram(static_cast<int>(ExitCode::NotRun));
  return ExitCode::NotRun;
}

// The road of the switches, on `machine`.
ExitCode Road(const Switches& switches, const Machine& machine, Support& support, EventLog& log,
              Platform& platform, Form1& form, ErrorTrap& trap) {
  // The inventory runs alone, and writes to the console before it is
  // released; its exit code is the check's when all of it was written.
  if (switches.report) {
    const ReportOutcome report = WriteReport(support, platform, trap, !switches.no_header, machine);
    trap.Run([&] { support.CloseConsole(); });
    return report.whole ? CheckExitCode(report.verdict) : ExitCode::ReportFailed;
  }

  trap.Run([&] { support.CloseConsole(); });
  // "/QUIET" alone is the check as "/CHECK /QUIET".
  if (switches.check || switches.Unattended()) {
    return CheckRoad(switches, machine, support, log, platform, form, trap);
  }

  trap.Run([&] { support.CloseConsole(); });
  trap.Run([&] { form.Load(); });
  return ExitCode::NoCheck;
}

}  // namespace

MachineOutcome MachineRoad(const Switches& switches, const std::string& name, Support& support,
                           EventLog& log, Platform& platform, Form1& form, ErrorTrap& trap,
                           bool in_list) {
  Machine machine;
  RunError failure(0, "");
  if (!ConnectTo(name, support, log, machine, failure)) {
    return {EndUnreachable(name, failure, support, log, trap, !in_list), failure.description()};
  }
  MachineOutcome outcome;
  // Once reached, a machine that stops answering leaves no verdict.
  try {
    outcome.code = Road(switches, machine, support, log, platform, form, trap);
    outcome.why = trap.last_description();
  } catch (const MachineLost& lost) {
    outcome = {EndUnreachable(name, lost, support, log, trap, !in_list), lost.description()};
  }
  // A list of many machines must not run out of connections; an older
  // library keeps them until the program ends.
  if (in_list) {
    try {
      support.DisconnectRegistry(machine.hive);
    } catch (const std::exception&) {
    }
  }
  return outcome;
}

ExitCode Main(Support& support, EventLog& log, Platform& platform, Form1& form) {
  ErrorTrap trap(log, TrapWording::Main);
  std::vector<std::string> args;

  if (!IsDLLInstalled(support, log)) return EndWithoutLibrary(platform, trap);

  if (!trap.Run([&] { args = support.GetArgs(platform.ArgumentText()); })) {
    // Without its items the program would open the window, which nobody
    // would close in a script's run: that run ends as without the library.
    if (UnattendedByItself(platform, trap)) return ExitCode::NoLibrary;
  }
  // The count is a 16-bit number; a command line cannot hold more items.
  if (args.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    args.resize(std::numeric_limits<std::int16_t>::max());
  }
  const Switches switches = ParseSwitches(args, platform.PastedDashes());

  if (switches.help) {
    // A script asked for the usage screen: it is printed, but nobody is
    // there to read it, and the run did nothing it was started for.
    if (switches.Unattended()) return UsageInsteadOfRun(support, log, platform, trap);
    ShowUsage(support, trap, true);
    trap.Run([&] { support.CloseConsole(); });
    platform.EndProgram(static_cast<int>(ExitCode::NoCheck));
    return ExitCode::NoCheck;
  }
  if (switches.Unattended() && (switches.stray || (switches.fix && switches.report))) {
    return RefuseToRun(switches, support, log, trap);
  }
  if (!switches.remote) return Road(switches, Machine{}, support, log, platform, form, trap);
  if (switches.machine_list) return RunList(switches, support, log, platform, form, trap);
  return MachineRoad(switches, switches.machine, support, log, platform, form, trap, false).code;
}

}  // namespace kestrad
