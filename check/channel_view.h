// What the channel test shows of its findings, when it runs for the window:
// the indicators of each channel's frame, its text box and the Fix button.
// The main window implements it (ui/form1.h), the unit tests with a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrad {

// The six indicators of a channel's frame, top to bottom.
enum class Indicator {
  DMAEnabled,
  ResetError,
  MasterIdDataCheckSum,
  MasterDeviceDetectionTimeout,
  SlaveIdDataCheckSum,
  SlaveDeviceDetectionTimeout,
};

enum class CheckState { Unchecked = 0, Checked = 1, Grayed = 2 };

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kRed = 0x0000FF;  // a colour word: the low byte is red

// Every operation but Loaded is one guarded step of its caller: it may throw
// RunError.
class ChannelView {
 public:
  virtual ~ChannelView() = default;

  // Creates the window if need be and runs its load handler, which shows
  // it; nothing when it is loaded already.
  virtual void Load() = 0;
  virtual bool Loaded() const = 0;

  virtual void SetCaption(int channel, Indicator box, const std::string& caption) = 0;
  virtual void SetState(int channel, Indicator box, CheckState state) = 0;
  virtual void SetColour(int channel, Indicator box, std::uint32_t colour) = 0;
  // Appends to the channel's text box, after whatever it holds.
  virtual void AppendText(int channel, const std::string& piece) = 0;
  virtual std::size_t TextLength(int channel) = 0;
  virtual void SetSelStart(int channel, std::size_t position) = 0;
  virtual void SetFixEnabled(bool enabled) = 0;
  virtual void GetDriverVersions() = 0;
};

// The view as the code references it: the first reference loads the window,
// as any reference to an unloaded form does.
inline ChannelView& Referenced(ChannelView& view) {
  if (!view.Loaded()) view.Load();
  return view;
}

}  // namespace kestrad
