// The real window code in this process, on the fake support library: its
// controls, fonts, tooltips, keyboard, message boxes, and many Test and Fix
// presses with every text kept and no objects left behind. Driven with
// synchronous messages, and the keyboard with typed input; a CBT hook
// answers each message box.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/platform_win32.h"
#include "fakes.h"
#include "test_library.h"
#include "ui/form1_layout.h"
#include "ui/form1_win32.h"
#include "win32/unique_handle.h"

namespace kestrad::testing {
namespace {

using form1::ControlId;

std::vector<HICON> g_box_icons;  // the icon of each message box shown, in order

// Records each message box's icon as the box becomes active, and answers it
// with OK. What a box says, the transcripts prove.
LRESULT CALLBACK AnswerBoxes(int code, WPARAM wp, LPARAM lp) {
  HWND w = reinterpret_cast<HWND>(wp);
  char name[16] = {};
  if (code == HCBT_ACTIVATE && GetClassNameA(w, name, sizeof name) &&
      std::string(name) == "#32770" && (g_box_icons.empty() || GetPropA(w, "seen") == nullptr)) {
    SetPropA(w, "seen", w);
    HICON icon = nullptr;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        icon = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0));
      }
    }
    g_box_icons.push_back(icon);
    PostMessageA(w, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

std::string Profile(const char* name) {
  std::ifstream in(kestrad_test::ToWindowsPath(KESTRAD_SOURCE_DIR "/tests/profiles/") + name +
                   ".reg");
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Text(HWND w) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(w)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(w, &text[0], static_cast<int>(text.size()))));
  return text;
}

// Wine's GetGuiResources answers 0, so the GDI objects are counted, by kind,
// in the handle table Wine publishes in the process environment block.
std::map<int, int> GdiObjectsByKind() {
  struct Entry {
    ULONGLONG object;
    ULONG owner;
    USHORT unique;  // low 7 bits: the kind; bit 7: a stock object
    UCHAR type, flags;
    ULONGLONG user;
  };
  const auto at = [](ULONG_PTR address) { return *reinterpret_cast<ULONG_PTR*>(address); };
  // mingw-w64's NtCurrentTeb trips GCC's bounds check on a zero-length array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
  const ULONG_PTR teb = reinterpret_cast<ULONG_PTR>(NtCurrentTeb());
#pragma GCC diagnostic pop
#ifdef _WIN64
  ULONGLONG table = at(at(teb + 0x60) + 0xF8);
#else
  ULONGLONG table = at(at(teb + 0x30) + 0x94);
  if (table == 0) {  // a 32-bit process keeps it in its 64-bit PEB, below 4 GiB
    const ULONG_PTR teb64 = at(teb + 0xF70);
    table = *reinterpret_cast<ULONGLONG*>(
        static_cast<ULONG_PTR>(*reinterpret_cast<ULONGLONG*>(teb64 + 0x60)) + 0xF8);
  }
#endif
  std::map<int, int> kinds;
  const Entry* entries = reinterpret_cast<const Entry*>(static_cast<ULONG_PTR>(table));
  for (int i = 0; entries != nullptr && i < 0x10000; ++i) {
    if (entries[i].type != 0 && !(entries[i].unique & 0x80)) ++kinds[entries[i].unique & 0x7F];
  }
  return kinds;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) { return ++*reinterpret_cast<int*>(count), TRUE; }

BOOL CALLBACK CountWindowAndChildren(HWND w, LPARAM count) {
  EnumChildWindows(w, CountWindow, count);
  return CountWindow(w, count);
}

int ThreadWindows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, reinterpret_cast<LPARAM>(&count));
  return count;
}

BOOL CALLBACK FindTooltips(HWND w, LPARAM found) {
  char name[32] = {};
  GetClassNameA(w, name, sizeof name);
  if (std::string(name) == TOOLTIPS_CLASSA) *reinterpret_cast<HWND*>(found) = w;
  return TRUE;
}

// What the user types, as the system delivers it: through SendInput and the
// thread's input queue, so the dialog manager sees every key.
void SendKey(WORD key, bool up, DWORD flags = 0) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = (flags & KEYEVENTF_UNICODE) ? 0 : key;
  input.ki.wScan = (flags & KEYEVENTF_UNICODE) ? key : static_cast<WORD>(MapVirtualKeyA(key, 0));
  input.ki.dwFlags = flags | (up ? KEYEVENTF_KEYUP : 0);
  SendInput(1, &input, sizeof input);
}
// A key pressed and let go, with `modifier` (VK_SHIFT, VK_MENU) held if given;
// with KEYEVENTF_UNICODE, `key` is a character.
void Tap(WORD key, WORD modifier = 0, DWORD flags = 0) {
  if (modifier != 0) SendKey(modifier, false);
  SendKey(key, false, flags);
  SendKey(key, true, flags);
  if (modifier != 0) SendKey(modifier, true);
}

std::pair<DWORD, DWORD> Selection(HWND box) {
  DWORD from = 0, to = 0;
  SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  return {from, to};
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_box_icons.clear();
    hook_ = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
    support_.Apply(Profile("healthy"));
    support_.Apply(Profile("demo"));
    form_ = MakeForm1(GetModuleHandleA(nullptr), support_, log_);
    form_->Load();
    hwnd_ = FindWindowA("KestradForm1", nullptr);
    ASSERT_NE(nullptr, hwnd_);
    SetForegroundWindow(hwnd_);
    Pump();
  }
  void TearDown() override {
    form_.reset();
    UnhookWindowsHookEx(hook_);
  }
  HWND Control(ControlId id) { return GetDlgItem(hwnd_, form1::ControlCommandId(id)); }
  void Press(ControlId id) { SendMessageA(Control(id), BM_CLICK, 0, 0); }
  void Pump() {
    while (form_->HandleMessage(false)) {
    }
  }
  // Handles the window's messages until `done` holds, waiting for each
  // message; false when it does not within ten seconds, or the window is
  // gone.
  template <class Done>
  bool PumpUntil(Done done) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (!IsWindow(hwnd_) || GetTickCount() - start > 10000) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      Pump();
    }
    return true;
  }
  // Tab (or Shift+Tab) once; true when the focus moved.
  bool TabOnce(bool back = false) {
    HWND before = GetFocus();
    Tap(VK_TAB, back ? VK_SHIFT : 0);
    return PumpUntil([&] { return GetFocus() != before; });
  }
  // Types `text` and waits until the focused box holds `want`.
  bool Type(const std::string& text, HWND box, const std::string& want) {
    for (char c : text) Tap(static_cast<WORD>(c), 0, KEYEVENTF_UNICODE);
    return PumpUntil([&] { return Text(box) == want; });
  }

  FakeSupport support_;
  FakeLog log_;
  std::unique_ptr<Win32Form1> form_;
  HWND hwnd_ = nullptr;
  HHOOK hook_ = nullptr;
};

TEST_F(WindowTest, ControlsAreTheTableAtTheScreensDpi) {
  const int dpi = GetDeviceCaps(UniqueWindowDc(nullptr).get(), LOGPIXELSY);
  RECT client;
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(form1::ClientWidthPixels(dpi), client.right);
  EXPECT_EQ(form1::ClientHeightPixels(dpi), client.bottom);
  const char* classes[] = {"Button", "Button", "Edit", "Button"};
  for (const form1::ControlSpec& spec : form1::Controls()) {
    SCOPED_TRACE(spec.name);
    HWND c = Control(spec.id);
    ASSERT_NE(nullptr, c);
    char name[32] = {};
    GetClassNameA(c, name, sizeof name);
    EXPECT_STRCASEEQ(classes[static_cast<int>(spec.kind)], name);
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(form1::ClientPixels(spec, dpi),
              (form1::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}));
    EXPECT_EQ(spec.kind != form1::ControlKind::Frame,
              (GetWindowLongA(c, GWL_STYLE) & WS_TABSTOP) != 0);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(spec.font != form1::FontKind::Default, font.lfWeight >= FW_BOLD);
    EXPECT_EQ(spec.font == form1::FontKind::ArialBoldItalic, font.lfItalic != 0);
    EXPECT_STREQ(spec.font == form1::FontKind::ArialBoldItalic ? "Arial" : "MS Sans Serif",
                 font.lfFaceName);
  }
}

// Each tooltip shows the whole text the load handler gave, on one line.
TEST_F(WindowTest, EveryTooltipTheLoadHandlerGaveIsShown) {
  HWND tips = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindTooltips, reinterpret_cast<LPARAM>(&tips));
  ASSERT_NE(nullptr, tips);
  std::map<HWND, std::string> shown;
  // A tip wraps where it is wider than the control's maximum width.
  const LRESULT max_width = SendMessageA(tips, TTM_GETMAXTIPWIDTH, 0, 0);
  const UniqueWindowDc dc(tips);
  SelectObject(dc.get(), reinterpret_cast<HFONT>(SendMessageA(tips, WM_GETFONT, 0, 0)));
  for (int i = 0; i < SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0); ++i) {
    // The wide form: Wine gives the ANSI one only 80 characters.
    wchar_t text[1024] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    ASSERT_TRUE(SendMessageW(tips, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool)));
    tool.lpszText = text;
    SendMessageW(tips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    shown[reinterpret_cast<HWND>(tool.uId)] = std::string(text, text + wcslen(text));
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text, static_cast<int>(wcslen(text)), &size);
    if (max_width >= 0) {
      EXPECT_GE(max_width, std::min<LONG>(size.cx, GetSystemMetrics(SM_CXSCREEN)))
          << "wraps: " << shown[reinterpret_cast<HWND>(tool.uId)];
    }
  }
  std::map<HWND, std::string> given;
  for (const form1::ControlSpec& spec : form1::Controls()) {
    if (spec.tooltip != nullptr) given[Control(spec.id)] = spec.tooltip;
  }
  EXPECT_EQ(given, shown);
}

// The focus starts on Test, Tab skips the disabled Fix button, Alt+T presses
// Test. Tab and Shift+Tab move into a text box with nothing selected and the
// caret where it was, so typing goes in beside the report instead of
// replacing it; Esc closes nothing, in a text box or elsewhere; the next
// report goes behind everything typed.
TEST_F(WindowTest, TheKeyboardNeverLosesTheReports) {
  EXPECT_EQ(Control(ControlId::Command1), GetFocus());
  ASSERT_TRUE(TabOnce());
  EXPECT_EQ(Control(ControlId::Command4), GetFocus());
  Tap('T', VK_MENU);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Control(ControlId::Command3)) != FALSE; }));

  HWND text = Control(ControlId::txtIDE0);
  const std::string report = Text(text);
  const auto caret = Selection(text);
  ASSERT_EQ(caret.first, caret.second);
  for (int n = 0; GetFocus() != text; ++n) {
    ASSERT_LT(n, 20) << "Tab does not reach the text box";
    ASSERT_TRUE(TabOnce());
  }
  EXPECT_EQ(caret, Selection(text)) << "Tab selected the report";
  ASSERT_TRUE(Type("xy", text, report + "xy"));

  // Esc, then a key that shows Esc has been handled: nothing closed.
  Tap(VK_ESCAPE);
  ASSERT_TRUE(Type("z", text, report + "xyz")) << "Esc in the text box closed the window";

  ASSERT_TRUE(TabOnce());
  EXPECT_EQ(Control(ControlId::chkIDE1DMAEnabled), GetFocus());
  Tap(VK_ESCAPE);
  ASSERT_TRUE(TabOnce(true)) << "Esc on a check box closed the window";
  EXPECT_EQ(text, GetFocus());
  EXPECT_EQ(Selection(text), std::make_pair(caret.first + 3, caret.first + 3));
  ASSERT_TRUE(Type("!", text, report + "xyz!"));

  Press(ControlId::Command1);
  EXPECT_EQ(0u, Text(text).find(report + "xyz!"));
  EXPECT_GT(Text(text).size(), report.size() + 4);
}

// After a Test the caret stands at the end of each box and its line is in
// view: the newest report is what the user sees.
TEST_F(WindowTest, TheNewestReportIsInViewAfterATest) {
  Press(ControlId::Command1);
  Press(ControlId::Command1);
  for (ControlId id : {ControlId::txtIDE0, ControlId::txtIDE1}) {
    SCOPED_TRACE(form1::Spec(id).name);
    HWND box = Control(id);
    const DWORD length = static_cast<DWORD>(GetWindowTextLengthA(box));
    EXPECT_EQ(std::make_pair(length, length), Selection(box));
    TEXTMETRICA metrics{};
    const UniqueWindowDc dc(box);
    SelectObject(dc.get(), reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
    GetTextMetricsA(dc.get(), &metrics);
    RECT client;
    SendMessageA(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&client));
    const LRESULT first = SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    const LRESULT visible = (client.bottom - client.top) / metrics.tmHeight;
    const LRESULT caret_line = SendMessageA(box, EM_LINEFROMCHAR, length, 0);
    EXPECT_GT(caret_line, visible) << "the report is too short to need scrolling";
    EXPECT_GE(caret_line, first);
    EXPECT_LT(caret_line, first + visible);
  }
}

// A click or Space only toggles a check box; grayed comes from the test alone.
TEST_F(WindowTest, AClickOnlyTogglesACheckBox) {
  HWND box = Control(ControlId::chkIDE1DMAEnabled);
  std::vector<LRESULT> seen;
  const auto click = [&] {
    SendMessageA(box, BM_CLICK, 0, 0);
    seen.push_back(SendMessageA(box, BM_GETCHECK, 0, 0));
  };
  click();
  click();
  Press(ControlId::Command1);  // DMA is off on IDE 1: the test grays the box
  seen.push_back(SendMessageA(box, BM_GETCHECK, 0, 0));
  click();
  SetFocus(box);
  PostMessageA(box, WM_KEYDOWN, VK_SPACE, 1);
  PostMessageA(box, WM_KEYUP, VK_SPACE, 0xC0000001);
  Pump();
  seen.push_back(SendMessageA(box, BM_GETCHECK, 0, 0));
  EXPECT_EQ((std::vector<LRESULT>{BST_CHECKED, BST_UNCHECKED, BST_INDETERMINATE, BST_CHECKED,
                                  BST_UNCHECKED}),
            seen);
}

// Each message box style shows its icon: the start-up's and Fix's.
TEST_F(WindowTest, BoxesShowTheIconOfTheirStyle) {
  Win32Platform platform;
  platform.ShowMessageBox("p", "critical", BoxStyle::Critical);
  platform.ShowMessageBox("p", "exclamation", BoxStyle::Exclamation);
  Press(ControlId::Command1);
  Press(ControlId::Command3);
  EXPECT_EQ((std::vector<HICON>{LoadIconA(nullptr, IDI_HAND), LoadIconA(nullptr, IDI_EXCLAMATION),
                                LoadIconA(nullptr, IDI_ASTERISK)}),
            g_box_icons);
}

// Six hundred Test presses with Fix after every tenth: each box holds, byte
// for byte, what the same presses append to the plain text of the fake
// window, and no kind of GDI object nor any window grows with the presses.
// A leak grows with every press or every Fix: the trend over many samples,
// not the difference of two, tells it from a cache that fills once.
TEST_F(WindowTest, ManyPressesKeepEveryLineAndLeaveNoObjects) {
  constexpr int kCycles = 60, kSampleEvery = 4, kWarmUp = 8;
  const HWND boxes[2] = {Control(ControlId::txtIDE0), Control(ControlId::txtIDE1)};
  FakeForm model(support_, log_);
  model.Load();
  const int windows = ThreadWindows();
  // The reader sees real objects: a new brush is one more of one kind, and
  // gone again once freed.
  const std::map<int, int> before = GdiObjectsByKind();
  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  std::map<int, int> grown = GdiObjectsByKind();
  DeleteObject(brush);
  for (const auto& [kind, count] : before) grown[kind] -= count;
  int kinds = 0, objects = 0;
  for (const auto& [kind, count] : grown) kinds += count != 0, objects += count;
  ASSERT_EQ(std::make_pair(1, 1), std::make_pair(kinds, objects)) << "a new brush is not counted";
  ASSERT_EQ(before, GdiObjectsByKind()) << "a freed brush is still counted";
  // Hidden, the presses cost what the program does, not Wine's drawing.
  ShowWindow(hwnd_, SW_HIDE);
  std::vector<std::pair<double, std::map<int, int>>> samples;
  for (int n = 1; n <= kCycles; ++n) {
    for (int i = 0; i < 10; ++i) Press(ControlId::Command1), model.Press("Test");
    Press(ControlId::Command3), model.Press("Fix");
    Pump();
    for (int ch = 0; ch < 2; ++ch) {
      if (n % kSampleEvery != 0 && n != 1) continue;
      const std::string& want =
          model.controls[static_cast<std::size_t>(form1::TextBoxOf(ch))].caption;
      const std::string text = Text(boxes[ch]);
      ASSERT_TRUE(text == want) << "box " << ch << " after cycle " << n << ": " << text.size()
                                << " bytes, want " << want.size();
    }
    if (n >= kWarmUp && n % kSampleEvery == 0) samples.emplace_back(n, GdiObjectsByKind());
  }
  EXPECT_EQ(static_cast<std::size_t>(kCycles), g_box_icons.size());
  EXPECT_EQ(windows, ThreadWindows());
  std::map<int, int> all_kinds;
  for (const auto& s : samples) all_kinds.insert(s.second.begin(), s.second.end());
  ASSERT_FALSE(all_kinds.empty()) << "no GDI objects counted";
  for (const auto& kind : all_kinds) {
    // Least-squares slope of the count over the cycles.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& [x, counts] : samples) {
      const double y = counts.count(kind.first) ? counts.at(kind.first) : 0;
      sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double n = static_cast<double>(samples.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    EXPECT_LT(slope, 0.2) << "GDI objects of kind " << kind.first << " grow by " << slope
                          << " per cycle";
  }
}

}  // namespace
}  // namespace kestrad::testing
