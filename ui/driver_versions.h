// The driver identification that the window shows in both text boxes.
#pragma once

#include "common/event_log.h"
#include "support/support.h"
#include "ui/form1.h"

namespace kestrad {

// Appends the IDE controller's driver description and date to both text
// boxes, then each channel's ATAPI driver provider and version to that
// channel's box. A failure is logged and its message stands in for the value
// being read; nothing is thrown.
void GetDriverVersions(Form1& window, Support& support, EventLog& log);

}  // namespace kestrad
