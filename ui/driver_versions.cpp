#include "ui/driver_versions.h"

#include <string>

#include "common/registry_layout.h"
#include "common/error_trap.h"
#include "common/program.h"

namespace kestrad {

namespace {
constexpr char kVendorPrefix[] = "IDE Driver Vendor: ";
constexpr char kVendorUnreadable[] = " (Can't read driver vendor information)";
constexpr char kAtapiPrefix[2][32] = {"IDE 0: ATAPI Driver: ", "IDE 1: ATAPI Driver: "};
}  // namespace

void GetDriverVersions(Form1& window, Support& support, EventLog& log) {
  ErrorTrap trap(log, TrapWording::Window);
  // The one working value. A failed step leaves the trap's message in it, so
  // the steps after it show the message where the value would have been.
  std::string value;
  auto step = [&](auto&& body) {
    if (!trap.Run(body)) value = trap.last_message();
  };
  auto read = [&](const std::string& key, const char* name) {
    step([&] { value = support.ReadStringFromRegistry(kHiveLocalMachine, key, name); });
  };
  const std::string controller = layout::kControllerInstanceKey;

  read(controller, layout::kDriverDesc);
  if (value.empty()) value = kVendorUnreadable;
  for (int ch = 0; ch < 2; ++ch) {
    step([&] { window.AppendText(ch, kVendorPrefix + value); });
  }

  read(controller, layout::kDriverDate);
  if (!value.empty()) {
    for (int ch = 0; ch < 2; ++ch) {
      step([&] { window.AppendText(ch, " (" + value + ")"); });
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    step([&] { window.AppendText(ch, kLineEnd); });
  }
  for (int ch = 0; ch < 2; ++ch) {
    step([&] { window.AppendText(ch, kAtapiPrefix[ch]); });
  }

  for (int ch = 0; ch < 2; ++ch) {
    const std::string key = layout::ChannelInstanceKey(ch);
    read(key, layout::kProviderName);
    if (!value.empty()) step([&] { window.AppendText(ch, value + " - "); });
    read(key, layout::kDriverVersion);
    if (!value.empty()) step([&] { window.AppendText(ch, value + kLineEnd); });
  }
}

}  // namespace kestrad
