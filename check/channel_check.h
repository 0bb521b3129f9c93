// The channel test: is DMA in use on both IDE channels?
#pragma once

#include <cstdint>

#include "check/channel_window.h"
#include "common/event_log.h"
#include "support/support.h"

namespace kestrad {

// Returns -1 when no channel was found with DMA switched off, 0 otherwise.
// With `update_window` zero it makes exactly the two DMAEnabled reads and
// never references the window; nonzero, it also reports every finding on
// the window that `form` refers to. Failures are logged, never thrown.
std::int16_t TestIDE(const std::int16_t& update_window, Support& support, EventLog& log,
                     WindowRef& form);
// The same, telling how many of the two DMAEnabled values could be read.
std::int16_t TestIDE(const std::int16_t& update_window, Support& support, EventLog& log,
                     WindowRef& form, int* dma_values_read);

}  // namespace kestrad
