#include "app/unattended.h"

#include <cstdint>
#include <string>

#include "app/csv_line.h"
#include "app/switches.h"
#include "check/channel_check.h"
#include "common/registry_layout.h"
#include "common/program.h"
#include "common/run_error.h"

namespace kestrad {

namespace {

constexpr char kWrittenLead[] =
    "\r\n\r\n" KESTRAD_NAME " wrote ResetErrorCountersOnSuccess = 1 for ";
constexpr char kWrittenTail[] = "; the repair takes effect at the next boot";
constexpr char kReportNotWritten[] = "Failed to write the inventory to standard output";
constexpr const char* kDriverValues[4] = {layout::kDriverDesc, layout::kDriverDate,
                                          layout::kProviderName, layout::kDriverVersion};

// The inventory's reads and lines, each a step of the run's trap.
class Report {
 public:
  Report(Support& support, ErrorTrap& trap, std::uint32_t hive)
      : support_(support), trap_(trap), hive_(hive) {}

  bool Dword(const std::string& key, const char* name, std::int32_t* value) {
    bool read = false;
    trap_.Run([&] { read = support_.ReadDWORDFromRegistry(hive_, key, name, *value); });
    return read;
  }
  // A number as the window shows it; a value not read is an empty field.
  std::string Number(const std::string& key, const char* name) {
    std::int32_t value = 0;
    return Dword(key, name, &value) ? std::to_string(value) : std::string();
  }
  std::string Text(const std::string& key, const char* name) {
    std::string value;
    trap_.Run([&] { value = support_.ReadStringFromRegistry(hive_, key, name); });
    return value;
  }
  // Nothing is written after a line that failed.
  void Line(const std::string& line) {
    whole_ = whole_ && trap_.Run([&] {
      if (!support_.WriteLn(line)) throw RunError(classic_error::kFileAccess, kReportNotWritten);
    });
  }
  bool whole() const { return whole_; }

 private:
  Support& support_;
  ErrorTrap& trap_;
  std::uint32_t hive_;
  bool whole_ = true;
};

}  // namespace

std::string ReportHeader() {
  CsvLine line;
  line.Own("Computer")
      .Own("Channel")
      .Own(layout::kDmaValue)
      .Own("Verdict")
      .Own(layout::kRepairValue);
  for (const DetectionValue& value : kDetectionValues) line.Own(value.name);
  for (const char* name : kDriverValues) line.Own(name);
  return line.str();
}

namespace {

void WriteHeader(Report& report) { report.Line(ReportHeader()); }

}  // namespace

RepairOutcome RepairChannels(Support& support, EventLog& log, ErrorTrap& trap,
                             const Findings& findings, std::uint32_t hive) {
  bool written[2] = {false, false};
  bool failed = false;
  for (int ch = 0; ch < 2; ++ch) {
    // A channel the check could not judge is left as it is.
    if (!findings.judged[ch]) continue;
    const std::string key = layout::ChannelInstanceKey(ch);
    bool done = trap.Run([&] {
      // A channel without its instance key has nothing to repair.
      if (!support.KeyExists(hive, key)) return;
      std::int32_t value = 0;
      if (support.ReadDWORDFromRegistry(hive, key, layout::kRepairValue, value) && value == 1) {
        return;
      }
      if (!support.WriteDWORDToRegistry(hive, key, layout::kRepairValue, 1)) {
        throw RunError(classic_error::kFileAccess,
                       std::string(layout::kChannelNames[ch]) + ": " + layout::kRepairNotWritten);
      }
      written[ch] = true;
    });
    if (!done) failed = true;
  }
  if (written[0] || written[1]) {
    const std::string which = written[0] && written[1] ? std::string(layout::kChannelNames[0]) +
                                                             " and " + layout::kChannelNames[1]
                                                       : layout::kChannelNames[written[0] ? 0 : 1];
    log.Report(EventType::Information, EventId::RepairWritten, kWrittenLead + which + kWrittenTail);
  }
  if (failed) return RepairOutcome::Failed;
  return written[0] || written[1] ? RepairOutcome::Written : RepairOutcome::NothingNeeded;
}

ReportOutcome WriteReport(Support& support, Platform& platform, ErrorTrap& trap, bool header,
                          const Machine& machine) {
  Report report(support, trap, machine.hive);
  if (header) WriteHeader(report);
  std::string computer;
  if (machine.name.empty()) {
    trap.Run([&] { computer = platform.ComputerName(); });
  } else {
    computer = report.Text(layout::kComputerNameKey, layout::kComputerNameValue);
    if (computer.empty()) computer = AsciiUpper(machine.name);
  }
  const char* controller = layout::kControllerInstanceKey;
  const std::string desc = report.Text(controller, kDriverValues[0]);
  const std::string date = report.Text(controller, kDriverValues[1]);
  int read = 0, off = 0;
  for (int ch = 0; ch < 2; ++ch) {
    const std::string key = layout::ChannelInstanceKey(ch);
    std::int32_t dma = 0;
    const bool dma_read = report.Dword(layout::PortMapKey(ch), layout::kDmaValue, &dma);
    read += dma_read ? 1 : 0;
    off += dma_read && !DmaEnabled(dma) ? 1 : 0;
    CsvLine line;
    line.Text(computer).Own(layout::kChannelNames[ch]).Own(dma_read ? std::to_string(dma) : "");
    line.Own(!dma_read ? "unknown" : DmaEnabled(dma) ? "DMA" : "PIO");
    line.Own(report.Number(key, layout::kRepairValue));
    for (const DetectionValue& value : kDetectionValues) line.Own(report.Number(key, value.name));
    line.Text(desc).Text(date).Text(report.Text(key, kDriverValues[2]));
    line.Text(report.Text(key, kDriverValues[3]));
    report.Line(line.str());
  }
  return {off > 0     ? Verdict::DmaOff
          : read == 0 ? Verdict::NothingRead
                      : Verdict::DmaInUse,
          report.whole()};
}

}  // namespace kestrad
