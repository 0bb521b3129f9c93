// The channel test: is DMA in use on both IDE channels?
#pragma once

#include <cstdint>

#include "check/channel_view.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

// What the test found, behind its boolean result.
enum class Verdict {
  DmaInUse,     // every DMAEnabled that could be read is 1, and one could
  DmaOff,       // a channel's DMAEnabled was read and is not 1
  NothingRead,  // neither DMAEnabled could be read: the test still passes
};

// What the test found, and which channels it could judge: those whose
// DMAEnabled was read.
struct Findings {
  Verdict verdict = Verdict::DmaInUse;
  bool judged[2] = {false, false};
};

// A detection value of a channel instance key and how the window shows it.
struct DetectionValue {
  Indicator box;
  const char* name;
  bool absent_turns_red;  // an absent value keeps its bare name and turns red
};

// The four, in the order they are read (and the inventory lists them).
inline constexpr DetectionValue kDetectionValues[4] = {
    {Indicator::MasterIdDataCheckSum, "MasterIdDataCheckSum", false},
    {Indicator::SlaveIdDataCheckSum, "SlaveIdDataCheckSum", false},
    {Indicator::MasterDeviceDetectionTimeout, "MasterDeviceDetectionTimeout", false},
    {Indicator::SlaveDeviceDetectionTimeout, "SlaveDeviceDetectionTimeout", true},
};

// The judgement of one channel: DMA is in use exactly when its DMAEnabled,
// read, is 1.
inline bool DmaEnabled(std::int32_t dma_enabled) { return dma_enabled == 1; }

// Judges both channels. With `update_window` false it makes exactly the two
// DMAEnabled reads and never references the window; true, it also reports
// every finding on `view`. The values are read from `hive`: this machine's
// HKEY_LOCAL_MACHINE, or another machine's. Failures are logged, never thrown.
Findings TestIDE(bool update_window, Support& support, EventLog& log, ChannelView& view,
                 std::uint32_t hive);

}  // namespace kestrad
