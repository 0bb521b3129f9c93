// Form1's control table and its conversion to pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "ui/form1_layout.h"

namespace kestrad::form1 {
namespace {

using C = ControlId;

struct PixelCase {
  ControlId id;
  int dpi;
  PixelRect expected;
};

// Expected values worked out by hand from the twips, 1440 twips an inch,
// halves rounded up. At 120 DPI the check boxes show that a frame's offset
// and the box's own offset are rounded separately: 1470+105 twips as one
// sum would give 131, not 132.
const PixelCase kPixelCases[] = {
    {C::Command1, 96, {7, 24, 81, 33}},
    {C::Command1, 120, {9, 30, 101, 41}},
    {C::Command1, 144, {11, 36, 122, 50}},
    {C::Command5, 96, {7, 208, 81, 41}},
    {C::Command5, 144, {11, 312, 122, 62}},
    {C::Frame1, 96, {98, 14, 287, 161}},
    {C::Frame2, 120, {490, 18, 359, 201}},
    {C::chkIDE0DMAEnabled, 96, {105, 30, 271, 17}},
    {C::chkIDE0DMAEnabled, 120, {132, 38, 339, 21}},
    {C::chkIDE0DMAEnabled, 144, {158, 45, 407, 26}},
    {C::chkIDE1SlaveDeviceDetectionTimeout, 96, {408, 142, 263, 17}},
    {C::chkIDE1SlaveDeviceDetectionTimeout, 144, {612, 213, 395, 26}},
    {C::txtIDE0, 96, {98, 182, 287, 97}},
    {C::txtIDE1, 120, {490, 228, 359, 121}},
};

TEST(Form1Layout, ControlsConvertToPixelsAtEachDpi) {
  for (const auto& c : kPixelCases) {
    SCOPED_TRACE(std::string(Spec(c.id).name) + " at " + std::to_string(c.dpi));
    const PixelRect r = ClientPixels(Spec(c.id), c.dpi);
    EXPECT_EQ(c.expected.left, r.left);
    EXPECT_EQ(c.expected.top, r.top);
    EXPECT_EQ(c.expected.width, r.width);
    EXPECT_EQ(c.expected.height, r.height);
  }
}

TEST(Form1Layout, ClientAreaAndFontsAtEachDpi) {
  struct {
    int dpi, width, height, small_font, arial_font;
  } const cases[] = {
      {96, 683, 295, -11, -13},
      {120, 854, 369, -14, -16},
      {144, 1025, 443, -17, -20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(c.width, ClientWidthPixels(c.dpi));
    EXPECT_EQ(c.height, ClientHeightPixels(c.dpi));
    EXPECT_EQ(c.small_font, FontHeightPixels(825, c.dpi));
    EXPECT_EQ(c.arial_font, FontHeightPixels(975, c.dpi));
  }
}

TEST(Form1Layout, TwipsToPixelsRoundsHalvesAwayFromZero) {
  EXPECT_EQ(0, TwipsToPixels(7, 96));   // 0.47
  EXPECT_EQ(1, TwipsToPixels(8, 96));   // 0.53
  EXPECT_EQ(1, TwipsToPixels(10, 144)); // exactly 1
  EXPECT_EQ(2, TwipsToPixels(15, 144)); // 1.5
  EXPECT_EQ(-2, TwipsToPixels(-15, 144));
  // Large values do not overflow in the intermediate product.
  EXPECT_EQ(6666667, TwipsToPixels(100000000, 96));
}

TEST(Form1Table, TabOrderIsTablePositionAndNamesAreUnique) {
  std::set<std::string> names;
  for (std::size_t i = 0; i < Controls().size(); ++i) {
    const ControlSpec& s = Controls()[i];
    EXPECT_EQ(static_cast<int>(i), s.tab) << s.name;
    EXPECT_EQ(i, static_cast<std::size_t>(s.id)) << s.name;
    EXPECT_TRUE(names.insert(s.name).second) << "duplicate " << s.name;
  }
  EXPECT_EQ(21u, names.size());
}

TEST(Form1Table, EveryControlLiesInsideItsContainer) {
  for (const ControlSpec& s : Controls()) {
    SCOPED_TRACE(s.name);
    const bool check_box = s.kind == ControlKind::CheckBox;
    EXPECT_EQ(check_box, InFrame(s));
    int width = kClientWidthTwips, height = kClientHeightTwips;
    if (InFrame(s)) {
      const ControlSpec& frame = Spec(s.container);
      ASSERT_EQ(ControlKind::Frame, frame.kind);
      // IDE 0's boxes sit in Frame1, IDE 1's in Frame2.
      EXPECT_EQ(std::string(s.name).compare(0, 6, "chkIDE"), 0);
      EXPECT_EQ(s.name[6] == '0' ? C::Frame1 : C::Frame2, s.container);
      width = frame.rect.width;
      height = frame.rect.height;
    }
    EXPECT_GE(s.rect.left, 0);
    EXPECT_GE(s.rect.top, 0);
    EXPECT_LE(s.rect.left + s.rect.width, width);
    EXPECT_LE(s.rect.top + s.rect.height, height);
  }
}

TEST(Form1Table, KindsCaptionsAndFonts) {
  int buttons = 0, boxes = 0, texts = 0, frames = 0;
  std::set<char> access_keys;
  for (const ControlSpec& s : Controls()) {
    switch (s.kind) {
      case ControlKind::Button: {
        ++buttons;
        const std::string caption = s.caption;
        const auto amp = caption.find('&');
        if (amp != std::string::npos) {
          EXPECT_EQ(std::string::npos, caption.find('&', amp + 1)) << s.name;
          EXPECT_TRUE(access_keys.insert(caption[amp + 1]).second) << s.name;
        }
        break;
      }
      case ControlKind::CheckBox: ++boxes; break;
      case ControlKind::TextBox:
        ++texts;
        EXPECT_STREQ("", s.caption);
        break;
      case ControlKind::Frame: ++frames; break;
    }
  }
  EXPECT_EQ(5, buttons);
  EXPECT_EQ(12, boxes);
  EXPECT_EQ(2, texts);
  EXPECT_EQ(2, frames);
  EXPECT_EQ((std::set<char>{'T', 'F', 'M', 'E'}), access_keys);
  EXPECT_STREQ("&Test", Spec(C::Command1).caption);
  EXPECT_STREQ("&Fix", Spec(C::Command3).caption);
  EXPECT_STREQ("&MS Hotfix", Spec(C::Command4).caption);
  EXPECT_STREQ("&Exit", Spec(C::Command2).caption);
  EXPECT_STREQ("Made with Orvandale", Spec(C::Command5).caption);
  EXPECT_STREQ("IDE 0 (Primary Channel)", Spec(C::Frame1).caption);
  EXPECT_STREQ("IDE 1 (Secondary Channel)", Spec(C::Frame2).caption);
  for (const ControlSpec& s : Controls()) {
    FontKind expected = FontKind::Default;
    if (s.id == C::chkIDE0DMAEnabled || s.id == C::chkIDE1DMAEnabled) expected = FontKind::DefaultBold;
    if (s.id == C::Command5) expected = FontKind::ArialBoldItalic;
    EXPECT_EQ(expected, s.font) << s.name;
  }
}

TEST(Form1Table, IndicatorsMapToTheirNamedCheckBoxes) {
  const struct {
    Indicator box;
    const char* suffix;
    const char* caption;
  } rows[] = {
      {Indicator::DMAEnabled, "DMAEnabled", "DMA Enabled"},
      {Indicator::ResetError, "ResetError", "ResetErrorCountersOnSuccess"},
      {Indicator::MasterIdDataCheckSum, "MasterIdDataCheckSum", "MasterIdDataCheckSum"},
      {Indicator::MasterDeviceDetectionTimeout, "MasterDeviceDetectionTimeout",
       "MasterDeviceDetectionTimeout"},
      {Indicator::SlaveIdDataCheckSum, "SlaveIdDataCheckSum", "SlaveIdDataCheckSum"},
      {Indicator::SlaveDeviceDetectionTimeout, "SlaveDeviceDetectionTimeout",
       "SlaveDeviceDetectionTimeout"},
  };
  for (int ch = 0; ch < 2; ++ch) {
    for (const auto& r : rows) {
      const ControlSpec& s = Spec(IndicatorControl(ch, r.box));
      EXPECT_EQ("chkIDE" + std::to_string(ch) + r.suffix, s.name);
      EXPECT_STREQ(r.caption, s.caption);
    }
  }
  EXPECT_STREQ("txtIDE0", Spec(TextBoxOf(0)).name);
  EXPECT_STREQ("txtIDE1", Spec(TextBoxOf(1)).name);
}

TEST(Form1Table, TooltipsGoToTenCheckBoxesAndFourButtons) {
  std::set<ControlId> ordered(TooltipOrder().begin(), TooltipOrder().end());
  EXPECT_EQ(TooltipOrder().size(), ordered.size()) << "a control listed twice";
  std::set<ControlId> with_tip;
  for (const ControlSpec& s : Controls()) {
    if (s.tooltip) with_tip.insert(s.id);
  }
  EXPECT_EQ(with_tip, ordered);
  EXPECT_EQ(nullptr, Spec(C::chkIDE0SlaveIdDataCheckSum).tooltip);
  EXPECT_EQ(nullptr, Spec(C::chkIDE1SlaveIdDataCheckSum).tooltip);
  EXPECT_EQ(nullptr, Spec(C::Command2).tooltip);
  EXPECT_STREQ("This key may be safely deleted. It will be redetected at the next system-boot",
               Spec(C::chkIDE1MasterIdDataCheckSum).tooltip);
}

}  // namespace
}  // namespace kestrad::form1
