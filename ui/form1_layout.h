// Form1's controls as data: what each one is, where it sits and how it looks.
//
// Positions are the design-time twips of the original form (1/1440 inch);
// the window converts them with the screen's actual DPI. Check boxes are
// placed relative to their frame, everything else relative to the client area.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "check/channel_view.h"

namespace kestrad::form1 {

// Every control, in keyboard tab order (the enumerator's value is its tab index).
enum class ControlId {
  Command1,  // Test
  Command3,  // Fix
  Command4,  // MS Hotfix
  Command2,  // Exit
  chkIDE0DMAEnabled,
  chkIDE0ResetError,
  chkIDE0MasterIdDataCheckSum,
  chkIDE0MasterDeviceDetectionTimeout,
  chkIDE0SlaveIdDataCheckSum,
  chkIDE0SlaveDeviceDetectionTimeout,
  txtIDE0,
  chkIDE1DMAEnabled,
  chkIDE1ResetError,
  chkIDE1MasterIdDataCheckSum,
  chkIDE1MasterDeviceDetectionTimeout,
  chkIDE1SlaveIdDataCheckSum,
  chkIDE1SlaveDeviceDetectionTimeout,
  txtIDE1,
  Frame1,
  Frame2,
  Command5,  // the maker's site
};
inline constexpr std::size_t kControlCount = 21;

enum class ControlKind { Button, CheckBox, TextBox, Frame };

// The window's own font, and two others (their faces and sizes: Font()).
enum class FontKind {
  Default,
  DefaultBold,      // the window's own, bold
  ArialBoldItalic,  // the maker's button
};
inline constexpr std::size_t kFontCount = 3;

struct FontSpec {
  const char* face;
  int centipoints;  // hundredths of a point
  bool bold, italic;
};

struct TwipsRect {
  int left, top, width, height;
};

struct PixelRect {
  int left, top, width, height;
  bool operator==(const PixelRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

struct ControlSpec {
  ControlId id;
  const char* name;
  ControlKind kind;
  ControlId container;  // Frame1/Frame2 for the check boxes, else the control itself
  const char* caption;
  TwipsRect rect;  // relative to the container
  int tab;
  FontKind font;
  const char* tooltip;  // nullptr: none
};

// The face, size and style of each kind of font.
const FontSpec& Font(FontKind kind);

// Window client area, in twips.
inline constexpr int kClientWidthTwips = 10245;
inline constexpr int kClientHeightTwips = 4425;

// The table, in tab order: Controls()[i].tab == i.
const std::array<ControlSpec, kControlCount>& Controls();
const ControlSpec& Spec(ControlId id);

// True when the control sits inside a frame rather than on the client area.
bool InFrame(const ControlSpec& spec);

// The order in which the load handler hands out the tooltips.
const std::array<ControlId, 14>& TooltipOrder();

// Twips to pixels at `dpi` dots per inch, rounded like MulDiv.
int TwipsToPixels(int twips, int dpi);
// A control's rectangle in client-area pixels; a check box's frame offset and
// its own offset are converted separately and added, as the frame's own
// pixel origin is what the box is measured from.
PixelRect ClientPixels(const ControlSpec& spec, int dpi);
// Client area size in pixels.
int ClientWidthPixels(int dpi);
int ClientHeightPixels(int dpi);

// A font's character height in pixels (negative: a character height, not a
// cell height, as CreateFont expects) for a size in hundredths of a point.
int FontHeightPixels(int centipoints, int dpi);

// A control's identifier in the window (its WM_COMMAND id), from its tab
// index. They start clear of IDOK and IDCANCEL, which the dialog manager
// sends for Enter and Esc.
inline constexpr int kFirstControlId = 100;
inline int ControlCommandId(ControlId id) { return kFirstControlId + static_cast<int>(id); }

// The check box of a channel's indicator.
ControlId IndicatorControl(int channel, Indicator box);
ControlId TextBoxOf(int channel);

}  // namespace kestrad::form1
