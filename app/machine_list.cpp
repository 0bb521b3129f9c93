#include "app/machine_list.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "app/csv_line.h"
#include "app/unattended.h"
#include "common/run_error.h"

namespace kestrad {

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kBlanks[] = " \t";

std::string Trimmed(const std::string& text) {
  const std::size_t from = text.find_first_not_of(kBlanks);
  if (from == std::string::npos) return {};
  return text.substr(from, text.find_last_not_of(kBlanks) - from + 1);
}

// The lines of a list file that name a machine: no blank lines, none
// beginning with ";" or "#".
std::vector<std::string> FileEntries(std::string text) {
  if (text.rfind(kUtf8Mark, 0) == 0) text.erase(0, sizeof kUtf8Mark - 1);
  // A line may end in CR alone, as old editors write it.
  std::replace(text.begin(), text.end(), '\r', '\n');
  std::vector<std::string> entries;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(at, end - at));
    if (!line.empty() && line[0] != ';' && line[0] != '#') entries.push_back(line);
    at = end + 1;
  }
  return entries;
}

std::vector<std::string> CommaEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    entries.push_back(Trimmed(text.substr(at, comma == std::string::npos ? comma : comma - at)));
    if (comma == std::string::npos) return entries;
    at = comma + 1;
  }
}

// A machine's road on its own thread: the registry through the shared
// library (which is safe from several threads), its standard output and
// error kept for the table, in the list's order; the console is the
// list's.
class MachineSupport : public Support {
 public:
  explicit MachineSupport(Support& shared) : shared_(shared) {}
  std::vector<std::string> out, err;

  std::int32_t LibVersion() override { return shared_.LibVersion(); }
  bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                             std::int32_t& value) override {
    return shared_.ReadDWORDFromRegistry(hive, key, name, value);
  }
  std::string ReadStringFromRegistry(std::uint32_t hive, const std::string& key,
                                     const std::string& name) override {
    return shared_.ReadStringFromRegistry(hive, key, name);
  }
  bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key, const std::string& name,
                            std::int32_t value) override {
    return shared_.WriteDWORDToRegistry(hive, key, name, value);
  }
  bool KeyExists(std::uint32_t hive, const std::string& key) override {
    return shared_.KeyExists(hive, key);
  }
  std::uint32_t ConnectRegistry(const std::string& machine) override {
    return shared_.ConnectRegistry(machine);
  }
  void DisconnectRegistry(std::uint32_t hive) override { shared_.DisconnectRegistry(hive); }
  bool WriteLn(const std::string& text) override { return out.push_back(text), true; }
  bool WriteErrLn(const std::string& text) override { return err.push_back(text), true; }
  // Nothing else of the console is a machine's.
  void ShellRun(const std::string&) override {}
  std::vector<std::string> GetArgs(const std::string&) override { return {}; }
  void OpenConsole() override {}
  bool ConsoleOpen() override { return false; }
  void CloseConsole() override {}
  void SetConsoleAttributes(std::int32_t, std::int32_t) override {}
  void ClearConsoleAttributes() override {}
  void Writes(const std::string&) override {}
  bool WriteErrProgress(const std::string&) override { return false; }
  bool InNativeConsole() override { return true; }
  void Pause(const std::string&) override {}

 private:
  Support& shared_;
};

// What a machine of the list left for the table.
struct Worked {
  MachineOutcome outcome;
  std::vector<std::string> out, err;
};

// The table as it comes: each machine's part once every machine before it
// is done, the progress on a console's standard error meanwhile.
class Table {
 public:
  Table(const Switches& switches, const std::vector<std::string>& names,
        const std::vector<Worked>& worked, Support& support, ErrorTrap& trap)
      : switches_(switches),
        names_(names),
        worked_(worked),
        support_(support),
        trap_(trap),
        ended_(names.size(), false) {}

  void Header() {
    if (switches_.no_header) return;
    Out(switches_.report ? ReportHeader()
                         : CsvLine().Own("Computer").Own("Exit code").Own("Result").str());
  }

  // Machine `i` has ended: write what may be written now.
  void Ended(std::size_t i) {
    ended_[i] = true;
    ++done_;
    if (worked_[i].outcome.code == ExitCode::Unreachable) ++unreachable_;
    Progress("");
    for (; next_ < names_.size() && ended_[next_]; ++next_) Write(next_);
    if (done_ < names_.size()) {
      Progress(KESTRAD_NAME ": " + std::to_string(done_) + " of " + std::to_string(names_.size()) +
               " machines done, " + std::to_string(unreachable_) + " could not be reached");
    }
  }

  ExitCode Finish() {
    Progress("");
    if (unreachable_ > 0) trap_.Run([&] { support_.WriteErrLn(kUsageHint); });
    int worst = output_lost_ ? static_cast<int>(ExitCode::ReportFailed) : 0;
    for (const Worked& w : worked_) worst = std::max(worst, static_cast<int>(w.outcome.code));
    return static_cast<ExitCode>(worst);
  }

 private:
  void Write(std::size_t i) {
    const Worked& w = worked_[i];
    if (switches_.report) {
      for (const std::string& line : w.out) Out(line);
    } else {
      Out(CsvLine()
              .Text(names_[i])
              .Own(std::to_string(static_cast<int>(w.outcome.code)))
              .Text(ResultWords(w.outcome))
              .str());
    }
    for (const std::string& line : w.err) trap_.Run([&] { support_.WriteErrLn(line); });
  }

  // A line of the table; none after one that could not be written.
  void Out(const std::string& line) {
    if (output_lost_) return;
    output_lost_ = !trap_.Run([&] {
      if (!support_.WriteLn(line)) {
        throw RunError(classic_error::kFileAccess, "Failed to write the table to standard output");
      }
    });
  }

  void Progress(const std::string& text) {
    if (text.empty() && !shown_) return;
    trap_.Run([&] { shown_ = support_.WriteErrProgress(text) && !text.empty(); });
  }

  const Switches& switches_;
  const std::vector<std::string>& names_;
  const std::vector<Worked>& worked_;
  Support& support_;
  ErrorTrap& trap_;
  std::vector<bool> ended_;
  std::size_t next_ = 0, done_ = 0, unreachable_ = 0;
  bool output_lost_ = false, shown_ = false;
};

}  // namespace

MachineNames ReadMachineNames(const std::string& list, Platform& platform) {
  MachineNames result;
  const auto refuse = [&](std::string error, std::string reason) {
    result = {{}, true, std::move(error), std::move(reason)};
    return result;
  };
  std::vector<std::string> entries;
  if (list[0] == '@') {
    const std::string file = list.substr(1);
    std::string why;
    try {
      const std::string text = platform.ReadFile(file);
      // Notepad's "Unicode": every other byte a NUL, no name in it.
      if (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0) {
        why = "it is UTF-16 text, not ANSI";
      } else {
        entries = FileEntries(text);
      }
    } catch (const RunError& e) {
      why = e.description();
    }
    if (!why.empty()) {
      return refuse("Cannot read the list of machines '" + file + "': " + why,
                    "cannot read the list of machines '" + file + "': " + why);
    }
  } else {
    entries = CommaEntries(list);
  }
  std::set<std::string> seen;  // each name in capitals
  for (const std::string& entry : entries) {
    std::string name;
    if (!MachineName(entry, name)) {
      return refuse("Invalid argument/option - '" + entry + "'",
                    "invalid argument/option '" + entry + "'");
    }
    if (seen.insert(AsciiUpper(name)).second) result.names.push_back(name);
  }
  if (result.names.empty()) {
    return refuse("The list of machines '" + list + "' names no machine",
                  "the list of machines '" + list + "' names no machine");
  }
  return result;
}

std::string ResultWords(const MachineOutcome& outcome) {
  switch (outcome.code) {
    case ExitCode::DmaInUse:
      return "DMA in use";
    case ExitCode::DmaOff:
      return "DMA switched off";
    case ExitCode::NothingRead:
      return "nothing read";
    case ExitCode::Repaired:
      return "repair written: reboot";
    case ExitCode::RepairFailed:
      return "repair failed: " + outcome.why;
    case ExitCode::Unreachable:
      return "cannot reach: " + outcome.why;
    default:
      return "exit code " + std::to_string(static_cast<int>(outcome.code));
  }
}

ExitCode RunList(const Switches& switches, Support& support, EventLog& log, Platform& platform,
                 Form1& form, ErrorTrap& trap) {
  const MachineNames list = ReadMachineNames(switches.machine, platform);
  if (list.refused) return Refuse(list.error, list.reason, support, log, trap);
  if (list.names.size() == 1) {
    return MachineRoad(switches, list.names[0], support, log, platform, form, trap, false).code;
  }
  // The table has the header, once.
  Switches each = switches;
  each.no_header = true;
  std::vector<Worked> worked(list.names.size());
  Table table(switches, list.names, worked, support, trap);
  table.Header();
  platform.SideBySide(
      list.names.size(), kMachinesAtOnce,
      [&](std::size_t i) {
        // Each machine with its own console, log and trap: nothing shared.
        try {
          MachineSupport own(support);
          const std::unique_ptr<EventLog> own_log = platform.NewEventLog();
          ErrorTrap own_trap(*own_log, TrapWording::Main);
          worked[i].outcome =
              MachineRoad(each, list.names[i], own, *own_log, platform, form, own_trap, true);
          worked[i].out = std::move(own.out);
          worked[i].err = std::move(own.err);
        } catch (const std::exception& e) {
          // Out of memory, say: the machine was not worked, and says so.
          worked[i] = {{ExitCode::Unreachable, e.what()}, {}, {}};
        }
      },
      [&](std::size_t i) { table.Ended(i); });
  // The last lines before the console is let go.
  const ExitCode code = table.Finish();
  trap.Run([&] { support.CloseConsole(); });
  return code;
}

}  // namespace kestrad
