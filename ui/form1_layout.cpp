#include "ui/form1_layout.h"

#include <cstdint>

#include "common/program.h"

namespace kestrad::form1 {

namespace {

// The tooltip texts, as the load handler gives them.
constexpr char kTipDma[] =
    "If DMA-mode access is not set then "
    "performance will be severely affected. "
    "If running in PIO mode then your system will "
    "be *extremely* slow or unusable";
constexpr char kTipReset[] =
    "If present, the running tally of device access failures is reset to zero after every "
    "successful access otherwise device will remain in failed and in PIO mode";
constexpr char kTipDetection[] =
    "(NOT SET) indicates a device not present or not properly-detected. Windows won't bother "
    "detecting a device in that slot at login time. A value of 1 may indicate failsafe (PIO) mode";
constexpr char kTipChecksum[] =
    "This key may be safely deleted. It will be redetected at the next system-boot";
constexpr char kTipTest[] = "Test your driver settings (no changes will be made)";
constexpr char kTipFix[] = "Apply a Microsoft recommended registry-setting";
constexpr char kTipHotfix[] = "Read the Microsoft explanation for ATA/ATAPI CRC problems";
constexpr char kTipMaker[] = "Visit the " KESTRAD_MAKER " website for more information";

// The window's own font and the maker's button's, by FontKind.
constexpr char kWindowFace[] = "MS Sans Serif";
constexpr int kWindowCentipoints = 825;
constexpr std::array<FontSpec, kFontCount> kFonts = {{
    {kWindowFace, kWindowCentipoints, false, false},
    {kWindowFace, kWindowCentipoints, true, false},
    {"Arial", 975, true, true},
}};

using K = ControlKind;
using F = FontKind;
using C = ControlId;

// One control a row: its id and name, kind and container; then its caption,
// twips rectangle, tab index, font and tooltip.
#define NAMED(id) C::id, #id
// clang-format off
constexpr std::array<ControlSpec, kControlCount> kControls = {{
    {NAMED(Command1), K::Button, C::Command1,
     "&Test", {105, 360, 1215, 495}, 0, F::Default, kTipTest},
    {NAMED(Command3), K::Button, C::Command3,
     "&Fix", {105, 960, 1215, 495}, 1, F::Default, kTipFix},
    {NAMED(Command4), K::Button, C::Command4,
     "&MS Hotfix", {105, 1575, 1215, 495}, 2, F::Default, kTipHotfix},
    {NAMED(Command2), K::Button, C::Command2,
     "&Exit", {105, 2160, 1215, 495}, 3, F::Default, nullptr},
    {NAMED(chkIDE0DMAEnabled), K::CheckBox, C::Frame1,
     "DMA Enabled", {105, 240, 4065, 255}, 4, F::DefaultBold, kTipDma},
    {NAMED(chkIDE0ResetError), K::CheckBox, C::Frame1,
     "ResetErrorCountersOnSuccess", {120, 576, 4125, 255}, 5, F::Default, kTipReset},
    {NAMED(chkIDE0MasterIdDataCheckSum), K::CheckBox, C::Frame1,
     "MasterIdDataCheckSum", {120, 912, 4020, 255}, 6, F::Default, kTipChecksum},
    {NAMED(chkIDE0MasterDeviceDetectionTimeout), K::CheckBox, C::Frame1,
     "MasterDeviceDetectionTimeout", {120, 1248, 4020, 255}, 7, F::Default, kTipDetection},
    {NAMED(chkIDE0SlaveIdDataCheckSum), K::CheckBox, C::Frame1,
     "SlaveIdDataCheckSum", {105, 1575, 4065, 255}, 8, F::Default, nullptr},
    {NAMED(chkIDE0SlaveDeviceDetectionTimeout), K::CheckBox, C::Frame1,
     "SlaveDeviceDetectionTimeout", {120, 1920, 4050, 255}, 9, F::Default, kTipDetection},
    {NAMED(txtIDE0), K::TextBox, C::txtIDE0,
     "", {1470, 2730, 4305, 1455}, 10, F::Default, nullptr},
    {NAMED(chkIDE1DMAEnabled), K::CheckBox, C::Frame2,
     "DMA Enabled", {240, 240, 3945, 255}, 11, F::DefaultBold, kTipDma},
    {NAMED(chkIDE1ResetError), K::CheckBox, C::Frame2,
     "ResetErrorCountersOnSuccess", {240, 576, 3945, 255}, 12, F::Default, kTipReset},
    {NAMED(chkIDE1MasterIdDataCheckSum), K::CheckBox, C::Frame2,
     "MasterIdDataCheckSum", {240, 912, 3915, 255}, 13, F::Default, kTipChecksum},
    {NAMED(chkIDE1MasterDeviceDetectionTimeout), K::CheckBox, C::Frame2,
     "MasterDeviceDetectionTimeout", {240, 1248, 3915, 255}, 14, F::Default, kTipDetection},
    {NAMED(chkIDE1SlaveIdDataCheckSum), K::CheckBox, C::Frame2,
     "SlaveIdDataCheckSum", {240, 1584, 3930, 255}, 15, F::Default, nullptr},
    {NAMED(chkIDE1SlaveDeviceDetectionTimeout), K::CheckBox, C::Frame2,
     "SlaveDeviceDetectionTimeout", {240, 1920, 3945, 255}, 16, F::Default, kTipDetection},
    {NAMED(txtIDE1), K::TextBox, C::txtIDE1,
     "", {5880, 2730, 4305, 1455}, 17, F::Default, nullptr},
    {NAMED(Frame1), K::Frame, C::Frame1,
     "IDE 0 (Primary Channel)", {1470, 210, 4305, 2415}, 18, F::Default, nullptr},
    {NAMED(Frame2), K::Frame, C::Frame2,
     "IDE 1 (Secondary Channel)", {5880, 210, 4305, 2415}, 19, F::Default, nullptr},
    {NAMED(Command5), K::Button, C::Command5,
     "Made with " KESTRAD_MAKER, {105, 3120, 1215, 615}, 20, F::ArialBoldItalic, kTipMaker},
}};
// clang-format on
#undef NAMED

// The table's own rules: each control at its tab index, and each check box
// in the frame of its channel.
constexpr bool TableIsConsistent() {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    const ControlSpec& s = kControls[i];
    if (s.tab != static_cast<int>(i) || static_cast<std::size_t>(s.id) != i) return false;
    const bool check_box = s.kind == ControlKind::CheckBox;
    const ControlId frame = s.id < C::txtIDE0 ? C::Frame1 : C::Frame2;
    if (check_box != (s.container != s.id) || (check_box && s.container != frame)) return false;
  }
  return true;
}
static_assert(TableIsConsistent(), "a control out of its tab position or frame");

const std::array<ControlId, 14> kTooltipOrder = {
    C::chkIDE0DMAEnabled,
    C::chkIDE1DMAEnabled,
    C::chkIDE0ResetError,
    C::chkIDE1ResetError,
    C::chkIDE0MasterDeviceDetectionTimeout,
    C::chkIDE0SlaveDeviceDetectionTimeout,
    C::chkIDE1MasterDeviceDetectionTimeout,
    C::chkIDE1SlaveDeviceDetectionTimeout,
    C::chkIDE0MasterIdDataCheckSum,
    C::chkIDE1MasterIdDataCheckSum,
    C::Command1,
    C::Command3,
    C::Command4,
    C::Command5,
};

// MulDiv: the product in 64 bits, rounded half away from zero.
int MulDivRounded(int number, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  const std::int64_t half = denominator / 2;
  const std::int64_t q =
      product >= 0 ? (product + half) / denominator : (product - half) / denominator;
  return static_cast<int>(q);
}

}  // namespace

const std::array<ControlSpec, kControlCount>& Controls() { return kControls; }

const ControlSpec& Spec(ControlId id) { return kControls[static_cast<std::size_t>(id)]; }

const FontSpec& Font(FontKind kind) { return kFonts[static_cast<std::size_t>(kind)]; }

bool InFrame(const ControlSpec& spec) { return spec.container != spec.id; }

const std::array<ControlId, 14>& TooltipOrder() { return kTooltipOrder; }

int TwipsToPixels(int twips, int dpi) { return MulDivRounded(twips, dpi, 1440); }

PixelRect ClientPixels(const ControlSpec& spec, int dpi) {
  PixelRect r{TwipsToPixels(spec.rect.left, dpi), TwipsToPixels(spec.rect.top, dpi),
              TwipsToPixels(spec.rect.width, dpi), TwipsToPixels(spec.rect.height, dpi)};
  if (InFrame(spec)) {
    const PixelRect frame = ClientPixels(Spec(spec.container), dpi);
    r.left += frame.left;
    r.top += frame.top;
  }
  return r;
}

int ClientWidthPixels(int dpi) { return TwipsToPixels(kClientWidthTwips, dpi); }
int ClientHeightPixels(int dpi) { return TwipsToPixels(kClientHeightTwips, dpi); }

int FontHeightPixels(int centipoints, int dpi) { return -MulDivRounded(centipoints, dpi, 7200); }

ControlId IndicatorControl(int channel, Indicator box) {
  // Each channel's check boxes are consecutive in the table, top to bottom.
  const int base = static_cast<int>(channel == 0 ? C::chkIDE0DMAEnabled : C::chkIDE1DMAEnabled);
  int offset = 0;
  switch (box) {
    case Indicator::DMAEnabled:
      offset = 0;
      break;
    case Indicator::ResetError:
      offset = 1;
      break;
    case Indicator::MasterIdDataCheckSum:
      offset = 2;
      break;
    case Indicator::MasterDeviceDetectionTimeout:
      offset = 3;
      break;
    case Indicator::SlaveIdDataCheckSum:
      offset = 4;
      break;
    case Indicator::SlaveDeviceDetectionTimeout:
      offset = 5;
      break;
  }
  return static_cast<ControlId>(base + offset);
}

ControlId TextBoxOf(int channel) { return channel == 0 ? C::txtIDE0 : C::txtIDE1; }

}  // namespace kestrad::form1
