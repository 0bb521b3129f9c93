#include "app/unattended.h"

#include <cstdint>
#include <string>

#include "check/channel_check.h"
#include "check/registry_layout.h"
#include "common/program.h"
#include "common/run_error.h"

namespace kestrad {

namespace {

constexpr const char* kChannelNames[2] = {"IDE 0", "IDE 1"};
constexpr char kWrittenLead[] =
    "\r\n\r\n" KESTRAD_NAME " wrote ResetErrorCountersOnSuccess = 1 for ";
constexpr char kWrittenTail[] = "; the repair takes effect at the next boot";
// The classic run-time number for "Path/File access error": the library
// tells only that the value or the line was not written.
constexpr long kNotWrittenNumber = 75;
constexpr char kReportNotWritten[] = "Failed to write the inventory to standard output";

// A field of the report: in double quotes, a quote inside doubled.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

RepairOutcome RepairChannels(Support& support, EventLog& log, ErrorTrap& trap) {
  bool written[2] = {false, false};
  bool failed = false;
  for (int ch = 0; ch < 2; ++ch) {
    const std::string key = layout::ChannelInstanceKey(ch);
    bool done = trap.Run([&] {
      // A channel without its instance key has nothing to repair.
      if (!support.KeyExists(kHiveLocalMachine, key)) return;
      std::int32_t value = 0;
      if (support.ReadDWORDFromRegistry(kHiveLocalMachine, key, layout::kRepairValue, value) &&
          value == 1) {
        return;
      }
      if (!support.WriteDWORDToRegistry(kHiveLocalMachine, key, layout::kRepairValue, 1)) {
        throw RunError(kNotWrittenNumber, std::string(kChannelNames[ch]) +
                                              ": Failed to write ResetErrorCountersOnSuccess "
                                              "to the registry");
      }
      written[ch] = true;
    });
    if (!done) failed = true;
  }
  if (written[0] || written[1]) {
    const std::string which = written[0] && written[1] ? "IDE 0 and IDE 1"
                              : written[0]             ? kChannelNames[0]
                                                       : kChannelNames[1];
    log.Report(EventType::Information, EventId::RepairWritten, kWrittenLead + which + kWrittenTail);
  }
  if (failed) return RepairOutcome::Failed;
  return written[0] || written[1] ? RepairOutcome::Written : RepairOutcome::NothingNeeded;
}

ReportOutcome WriteReport(Support& support, Platform& platform, ErrorTrap& trap, bool header) {
  int read = 0, off = 0;
  const auto dword = [&](const std::string& key, const char* name, std::int32_t* value) {
    bool read = false;
    trap.Run([&] { read = support.ReadDWORDFromRegistry(kHiveLocalMachine, key, name, *value); });
    return read;
  };
  const auto text = [&](const std::string& key, const char* name) {
    std::string value;
    trap.Run([&] { value = support.ReadStringFromRegistry(kHiveLocalMachine, key, name); });
    return value;
  };
  bool whole = true;
  const auto line = [&](const std::string& fields) {
    whole = whole && trap.Run([&] {
      if (!support.WriteLn(fields)) throw RunError(kNotWrittenNumber, kReportNotWritten);
    });
  };
  if (header) {
    std::string fields = Quoted("Computer") + "," + Quoted("Channel") + "," +
                         Quoted(layout::kDmaValue) + "," + Quoted("Verdict") + "," +
                         Quoted(layout::kRepairValue);
    for (const char* name : layout::kDetectionValues) fields += "," + Quoted(name);
    for (const char* name : {"DriverDesc", "DriverDate", "ProviderName", "DriverVersion"}) {
      fields += "," + Quoted(name);
    }
    line(fields);
  }
  std::string computer;
  trap.Run([&] { computer = platform.ComputerName(); });
  const std::string controller = layout::kControllerInstanceKey;
  const std::string desc = text(controller, "DriverDesc");
  const std::string date = text(controller, "DriverDate");
  for (int ch = 0; ch < 2; ++ch) {
    const std::string key = layout::ChannelInstanceKey(ch);
    // A number as the window shows it; a value not read is an empty field.
    const auto number = [&](const std::string& in, const char* name) {
      std::int32_t value = 0;
      return dword(in, name, &value) ? Quoted(std::to_string(value)) : Quoted("");
    };
    std::int32_t dma = 0;
    const bool dma_read = dword(layout::PortMapKey(ch), layout::kDmaValue, &dma);
    read += dma_read ? 1 : 0;
    off += dma_read && !DmaEnabled(dma) ? 1 : 0;
    std::string fields = Quoted(computer) + "," + Quoted(kChannelNames[ch]) + "," +
                         (dma_read ? Quoted(std::to_string(dma)) : Quoted("")) + "," +
                         Quoted(!dma_read         ? "unknown"
                                : DmaEnabled(dma) ? "DMA"
                                                  : "PIO") +
                         "," + number(key, layout::kRepairValue);
    for (const char* name : layout::kDetectionValues) fields += "," + number(key, name);
    fields += "," + Quoted(desc) + "," + Quoted(date) + "," + Quoted(text(key, "ProviderName")) +
              "," + Quoted(text(key, "DriverVersion"));
    line(fields);
  }
  return {off > 0 ? Verdict::DmaOff : read == 0 ? Verdict::NothingRead : Verdict::DmaInUse, whole};
}

}  // namespace kestrad
