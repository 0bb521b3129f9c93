// Where the ATA/ATAPI channel driver keeps the settings the program judges.
#pragma once

#include <string>

namespace kestrad::layout {

// The IDE ATA/ATAPI controllers' device setup class; ends in a backslash so
// that an instance key is the plain concatenation with the instance name.
extern const std::string kChannelClassKey;
extern const std::string kControllerInstance;  // "0000"
extern const std::string kIde0Instance;        // "0001"
extern const std::string kIde1Instance;        // "0002"

// Port map key of a channel (0 or 1): "HARDWARE\DEVICEMAP\Scsi\Scsi Port n".
const std::string& PortMapKey(int channel);
// Channel instance key of a channel: channel class key + "0001" / "0002".
const std::string& ChannelInstanceKey(int channel);
// Controller instance key: channel class key + "0000".
const std::string& ControllerInstanceKey();

}  // namespace kestrad::layout
