// Where the ATA/ATAPI channel driver keeps the settings the program judges.
#pragma once

namespace kestrad::layout {

// The IDE ATA/ATAPI controllers' device setup class; ends in a backslash so
// that an instance key is the plain concatenation with the instance name
// ("0000" the controller, "0001" IDE 0, "0002" IDE 1).
#define KESTRAD_CHANNEL_CLASS_KEY \
  "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96A-E325-11CE-BFC1-08002BE10318}\\"
inline constexpr char kControllerInstanceKey[] = KESTRAD_CHANNEL_CLASS_KEY "0000";
inline constexpr const char* kChannelInstanceKeys[2] = {KESTRAD_CHANNEL_CLASS_KEY "0001",
                                                        KESTRAD_CHANNEL_CLASS_KEY "0002"};
inline constexpr const char* kPortMapKeys[2] = {"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0",
                                                "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1"};

// The values the program reads and the one it writes.
inline constexpr char kDmaValue[] = "DMAEnabled";  // in a port map key
inline constexpr char kRepairValue[] = "ResetErrorCountersOnSuccess";
// The driver identification: in the controller's instance key, then in each
// channel's, in the order the window and the inventory show them.
inline constexpr char kDriverDesc[] = "DriverDesc";
inline constexpr char kDriverDate[] = "DriverDate";
inline constexpr char kProviderName[] = "ProviderName";
inline constexpr char kDriverVersion[] = "DriverVersion";
// The channels as the program names them, and what the window and the
// unattended repair say of a repair value that could not be written.
inline constexpr const char* kChannelNames[2] = {"IDE 0", "IDE 1"};
inline constexpr char kRepairNotWritten[] =
    "Failed to write ResetErrorCountersOnSuccess to the registry";

// Where a running machine keeps the name it goes by (what it tells
// GetComputerName; the key ComputerName beside it holds the name for the next
// boot): what the inventory of another machine shows as its computer's name.
inline constexpr char kComputerNameKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";
inline constexpr char kComputerNameValue[] = "ComputerName";

// The keys of a channel (0 or 1).
inline const char* PortMapKey(int channel) { return kPortMapKeys[channel == 0 ? 0 : 1]; }
inline const char* ChannelInstanceKey(int channel) {
  return kChannelInstanceKeys[channel == 0 ? 0 : 1];
}

}  // namespace kestrad::layout
