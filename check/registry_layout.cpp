#include "check/registry_layout.h"

namespace kestrad::layout {

const std::string kChannelClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96A-E325-11CE-BFC1-08002BE10318}\\";
const std::string kControllerInstance = "0000";
const std::string kIde0Instance = "0001";
const std::string kIde1Instance = "0002";

// Built once, on first use, from the constants above.
const std::string& PortMapKey(int channel) {
  static const std::string keys[2] = {"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0",
                                      "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1"};
  return keys[channel == 0 ? 0 : 1];
}

const std::string& ChannelInstanceKey(int channel) {
  static const std::string keys[2] = {kChannelClassKey + kIde0Instance,
                                      kChannelClassKey + kIde1Instance};
  return keys[channel == 0 ? 0 : 1];
}

const std::string& ControllerInstanceKey() {
  static const std::string key = kChannelClassKey + kControllerInstance;
  return key;
}

}  // namespace kestrad::layout
