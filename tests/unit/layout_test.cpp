// The window's twips converted to pixels, against values worked out by hand
// (1440 twips an inch, halves rounded away from zero).
#include <gtest/gtest.h>

#include "ui/form1_layout.h"

namespace kestrad::form1 {
namespace {

using C = ControlId;

TEST(Form1Layout, ControlsClientAreaAndFontsAtEachDpi) {
  // At 120 DPI a check box's frame offset and its own offset are rounded
  // apart: 1470 + 105 twips as one sum would give 131, not 132.
  const struct {
    ControlId id;
    int dpi;
    PixelRect want;
  } rects[] = {
      {C::Command1, 96, {7, 24, 81, 33}},
      {C::Command1, 144, {11, 36, 122, 50}},
      {C::Command5, 144, {11, 312, 122, 62}},
      {C::Frame2, 120, {490, 18, 359, 201}},
      {C::chkIDE0DMAEnabled, 120, {132, 38, 339, 21}},
      {C::chkIDE1SlaveDeviceDetectionTimeout, 96, {408, 142, 263, 17}},
      {C::txtIDE1, 120, {490, 228, 359, 121}},
  };
  for (const auto& r : rects) EXPECT_EQ(r.want, ClientPixels(Spec(r.id), r.dpi)) << Spec(r.id).name;
  const struct {
    int dpi, width, height, small_font, arial_font;
  } sizes[] = {{96, 683, 295, -11, -13}, {120, 854, 369, -14, -16}, {144, 1025, 443, -17, -20}};
  for (const auto& s : sizes) {
    EXPECT_EQ(s.width, ClientWidthPixels(s.dpi));
    EXPECT_EQ(s.height, ClientHeightPixels(s.dpi));
    EXPECT_EQ(s.small_font, FontHeightPixels(Font(FontKind::Default).centipoints, s.dpi));
    EXPECT_EQ(s.arial_font, FontHeightPixels(Font(FontKind::ArialBoldItalic).centipoints, s.dpi));
  }
  EXPECT_EQ(-2, TwipsToPixels(-15, 144));
  EXPECT_EQ(6666667, TwipsToPixels(100000000, 96));  // no overflow on the way
}

}  // namespace
}  // namespace kestrad::form1
