// Form1 in plain Win32: a top-level window whose controls are created from
// the table in form1_layout, and the Form1 operations on them.
//
// Frames are group boxes, and their check boxes are siblings laid over them
// rather than children: a group box swallows its children's WM_COMMAND and
// WM_CTLCOLORSTATIC unless subclassed, so as siblings the main window gets
// the colour messages that paint the red captions. Children created later
// go below earlier ones in the Z order, so the group boxes, created last (as
// their tab index says), lie under their check boxes. The main window does
// not clip its children: a group box leaves its inside to the parent's
// background.
#include "ui/form1_win32.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "common/error_trap.h"
#include "common/program.h"
#include "common/run_error.h"
#include "ui/driver_versions.h"
#include "ui/form1_handlers.h"
#include "ui/form1_layout.h"
#include "win32/error_text.h"
#include "win32/system_library.h"
#include "win32/unique_handle.h"

namespace kestrad {

namespace {

using form1::ControlId;
using form1::ControlKind;
using form1::ControlSpec;
using form1::FontKind;

constexpr char kClassName[] = "KestradForm1";
constexpr COLORREF kTextBoxBack = RGB(255, 255, 192);
constexpr int kIconResource = 1;

// Throws the calling thread's last error; `fallback` when a control failed
// without setting one.
[[noreturn]] void ThrowLastError(DWORD fallback = ERROR_GEN_FAILURE) {
  DWORD code = GetLastError();
  if (code == 0) code = fallback;
  throw SystemError(code);
}

UniqueFont MakeFont(const char* face, int centipoints, bool bold, bool italic, int dpi) {
  return UniqueFont(CreateFontA(form1::FontHeightPixels(centipoints, dpi), 0, 0, 0,
                                bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, face));
}

int ScreenDpi() {
  const UniqueWindowDc screen(nullptr);
  const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }

class Form1Window final : public Win32Form1 {
 public:
  Form1Window(HINSTANCE instance, Support& support, EventLog& log)
      : instance_(instance), support_(support), log_(log), handlers_(support, log, *this) {
    colours_.fill(kBlack);
  }

  ~Form1Window() override {
    if (hwnd_) DestroyWindow(hwnd_);
  }

  // ---- Form1 ----

  void Load() override {
    if (hwnd_) return;
    // Delay-loaded: by full path first, so that a failure is reported.
    RequireSystemLibrary(L"user32.dll");
    RequireSystemLibrary(L"gdi32.dll");
    try {
      Create();
    } catch (...) {
      // A window without all its controls is not loaded.
      if (hwnd_) DestroyWindow(hwnd_);
      throw;
    }
    // The load handler shows the window first and then appends the driver
    // identification, a piece at a time. Each append to a visible box costs
    // a repaint, so while it runs the pieces are gathered, and the window
    // appears when each box has its whole text, as it would have looked
    // once the handler was done.
    loading_ = true;
    handlers_.Form_Load();
    loading_ = false;
    ErrorTrap trap(log_, TrapWording::Window);
    for (int ch = 0; ch < 2; ++ch) trap.Run([&] { FlushText(ch); });
    if (show_after_load_) trap.Run([&] { ShowNow(); });
    show_after_load_ = false;
  }

  bool Loaded() const override { return hwnd_ != nullptr; }

  // ---- the channel test's and the driver identification's ----

  void SetCaption(int channel, Indicator box, const std::string& caption) override {
    SetText(Control(form1::IndicatorControl(channel, box)), caption);
  }

  void SetState(int channel, Indicator box, CheckState state) override {
    static_assert(static_cast<WPARAM>(CheckState::Unchecked) == BST_UNCHECKED &&
                  static_cast<WPARAM>(CheckState::Checked) == BST_CHECKED &&
                  static_cast<WPARAM>(CheckState::Grayed) == BST_INDETERMINATE);
    SendMessageA(Control(form1::IndicatorControl(channel, box)), BM_SETCHECK,
                 static_cast<WPARAM>(state), 0);
  }

  void SetColour(int channel, Indicator box, std::uint32_t colour) override {
    const ControlId id = form1::IndicatorControl(channel, box);
    HWND control = Control(id);
    // A colour word has red in its low byte, as a COLORREF does.
    colours_[Index(id)] = static_cast<COLORREF>(colour & 0xFFFFFF);
    InvalidateRect(control, nullptr, TRUE);
  }

  void AppendText(int channel, const std::string& piece) override {
    HWND box = Control(form1::TextBoxOf(channel));
    if (piece.empty()) return;
    if (loading_) {
      pending_[channel] += piece;
      return;
    }
    AppendNow(box, piece);
  }

  std::size_t TextLength(int channel) override {
    HWND box = Control(form1::TextBoxOf(channel));
    return static_cast<std::size_t>(GetWindowTextLengthA(box)) + pending_[channel].size();
  }

  void SetSelStart(int channel, std::size_t position) override {
    FlushText(channel);
    HWND box = Control(form1::TextBoxOf(channel));
    SendMessageA(box, EM_SETSEL, position, position);
    SendMessageA(box, EM_SCROLLCARET, 0, 0);
  }

  void SetFixEnabled(bool enabled) override {
    HWND fix = Control(ControlId::Command3);
    EnableWindow(fix, enabled);
    // A disabled control that keeps the focus would leave the keyboard dead.
    if (!enabled && GetFocus() == fix) {
      SetFocus(GetNextDlgTabItem(hwnd_, fix, FALSE));
    }
  }

  void GetDriverVersions() override { kestrad::GetDriverVersions(*this, support_, log_); }

  // ---- the load handler's ----

  void Show() override {
    if (!hwnd_) ThrowLastError(ERROR_INVALID_WINDOW_HANDLE);
    if (loading_) {
      show_after_load_ = true;
      return;
    }
    ShowNow();
  }

  void SetTitle(const std::string& title) override {
    if (!hwnd_) ThrowLastError(ERROR_INVALID_WINDOW_HANDLE);
    SetText(hwnd_, title);
  }

  void SetTooltip(ControlId id, const std::string& text) override {
    HWND control = Control(id);
    if (!tooltip_) throw RunError(ERROR_INVALID_WINDOW_HANDLE, "No tooltip window");
    TOOLINFOA info{};
    // Without a common-controls v6 manifest, comctl32 v5 refuses the larger
    // structure that mingw-w64's headers declare.
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text.c_str());
    const LPARAM tool = reinterpret_cast<LPARAM>(&info);
    if (has_tip_[Index(id)]) {
      SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, tool);  // no result to check
      return;
    }
    SetLastError(0);
    if (!SendMessageA(tooltip_, TTM_ADDTOOLA, 0, tool)) ThrowLastError();
    has_tip_[Index(id)] = true;
  }

  void ShowInformation(const std::string& prompt, const std::string& title) override {
    MessageBoxA(hwnd_, prompt.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
  }

  // ---- Win32Form1 ----

  void RunUntilUnloaded() override {
    while (hwnd_ && HandleMessage(true)) {
    }
  }

  bool HandleMessage(bool wait) override {
    MSG msg;
    if (wait ? GetMessageA(&msg, nullptr, 0, 0) <= 0
             : !PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      return false;
    }
    // Tab, Shift+Tab and the Alt access keys, as in a dialog.
    if (hwnd_ && IsDialogMessageA(hwnd_, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return msg.message != WM_QUIT;
  }

 private:
  // ---- the window ----

  void ShowNow() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
  }

  static void AppendNow(HWND box, const std::string& piece) {
    // Selecting the end and replacing the empty selection appends without
    // copying the whole text out and back in.
    const int before = GetWindowTextLengthA(box);
    SendMessageA(box, EM_SETSEL, before, before);
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    if (GetWindowTextLengthA(box) <= before) {
      throw SystemError(ERROR_NOT_ENOUGH_MEMORY);
    }
  }

  // What the load handler gathered for a box, in one append.
  void FlushText(int channel) {
    if (pending_[channel].empty()) return;
    HWND box = Control(form1::TextBoxOf(channel));
    const std::string text = pending_[channel];
    pending_[channel].clear();
    AppendNow(box, text);
  }

  HWND Control(ControlId id) const {
    HWND control = controls_[Index(id)];
    if (!control || !IsWindow(control)) {
      throw SystemError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return control;
  }

  static void SetText(HWND window, const std::string& text) {
    SetLastError(0);
    if (!SetWindowTextA(window, text.c_str())) ThrowLastError();
  }

  void RegisterClassOnce() {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance_, kClassName, &existing)) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Form1Window::Procedure;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    // Both may be absent (a build without the resource): the class default is used.
    wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(kIconResource));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kIconResource),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (!RegisterClassExA(&wc)) ThrowLastError();
  }

  void Create() {
    RegisterClassOnce();
    // The common controls (the tooltips) by full path from the system folder:
    // imported by name, comctl32.dll, which is no KnownDLL, would be looked
    // for beside the program first.
    if (!common_controls_) {
      common_controls_.reset(LoadSystemLibrary(L"comctl32.dll"));
      using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
      const auto init = reinterpret_cast<InitFn>(
          reinterpret_cast<void*>(GetProcAddress(common_controls_.get(), "InitCommonControlsEx")));
      const INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
      if (init != nullptr) init(&icc);
    }

    dpi_ = ScreenDpi();
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      const form1::FontSpec& f = form1::Font(static_cast<FontKind>(i));
      fonts_[i] = MakeFont(f.face, f.centipoints, f.bold, f.italic, dpi_);
    }
    text_box_brush_.reset(CreateSolidBrush(kTextBoxBack));

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, form1::ClientWidthPixels(dpi_), form1::ClientHeightPixels(dpi_)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    // The design-time title, until the load handler sets the real one.
    HWND window = CreateWindowExA(0, kClassName, kProgramName, style, left, top, width, height,
                                  nullptr, nullptr, instance_, this);
    if (!window) ThrowLastError();

    // Creation order is tab order.
    for (const ControlSpec& spec : form1::Controls()) CreateControl(spec);

    tooltip_ =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
    if (tooltip_) {
      // Each tip on one line, as long as the screen is wide enough for it.
      SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
    }
    focus_ = controls_[Index(ControlId::Command1)];
  }

  void CreateControl(const ControlSpec& spec) {
    const char* window_class = "BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (spec.kind) {
      case ControlKind::Button:
        // The maker's button draws its caption itself (DrawCaptionButton):
        // a push button's own wrapping leaves too little of its face for
        // the text and cuts the caption's last line off.
        style |= WS_TABSTOP | (spec.id == ControlId::Command5 ? BS_OWNERDRAW : BS_PUSHBUTTON);
        break;
      case ControlKind::CheckBox:
        // Not the automatic kind, which would cycle through grayed too.
        style |= WS_TABSTOP | BS_3STATE;
        break;
      case ControlKind::TextBox:
        window_class = "EDIT";
        ex_style = WS_EX_CLIENTEDGE;
        style |= WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                 ES_AUTOHSCROLL | ES_WANTRETURN;
        break;
      case ControlKind::Frame:
        style |= BS_GROUPBOX;
        break;
    }
    const form1::PixelRect r = form1::ClientPixels(spec, dpi_);
    HWND control = CreateWindowExA(
        ex_style, window_class, spec.caption, style, r.left, r.top, r.width, r.height, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(form1::ControlCommandId(spec.id))), instance_,
        nullptr);
    if (!control) ThrowLastError();
    controls_[Index(spec.id)] = control;
    const UniqueFont& font = fonts_[static_cast<std::size_t>(spec.font)];
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    if (spec.kind == ControlKind::TextBox) {
      // The text boxes are running logs: lift the 32K default limit.
      SendMessageA(control, EM_SETLIMITTEXT, 0, 0);
      text_box_procedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
          control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form1Window::TextBoxProcedure)));
    }
  }

  const ControlSpec* SpecOf(HWND control) const {
    for (const ControlSpec& spec : form1::Controls()) {
      if (controls_[Index(spec.id)] == control) return &spec;
    }
    return nullptr;
  }

  void Clicked(ControlId id) {
    if (handlers_.Click(id)) return;
    if (id == ControlId::Command2) {
      // Exit: unload; with the window gone the message loop ends and the
      // program with it, with the start-up's exit code.
      DestroyWindow(hwnd_);
    } else if (form1::Spec(id).kind == ControlKind::CheckBox) {
      // A click (or Space) on an indicator only toggles it; grayed is the
      // channel test's alone.
      HWND box = controls_[Index(id)];
      const bool checked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
      SendMessageA(box, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
    }
  }

  // The text boxes hold the user's reports; the keyboard must never lose
  // them.
  static LRESULT CALLBACK TextBoxProcedure(HWND box, UINT message, WPARAM wp, LPARAM lp) {
    // Esc: a multi-line edit that the dialog manager has asked for its keys
    // posts WM_CLOSE to its parent, which would close the window and both
    // reports with it. Esc does nothing here, as anywhere in the window.
    if ((message == WM_KEYDOWN || message == WM_CHAR) && wp == VK_ESCAPE) return 0;
    LRESULT result = CallWindowProcA(text_box_procedure_, box, message, wp, lp);
    if (message == WM_GETDLGCODE) {
      // The dialog manager selects the whole text of an edit that Tab moves
      // into, and the next key typed would replace the report: the focus
      // arrives with the caret where it was and nothing selected.
      result &= ~static_cast<LRESULT>(DLGC_HASSETSEL);
      // A multi-line edit asks for every key, Tab included, so the keyboard
      // could not leave it. Tab is handed back: it moves along the tab
      // order; Enter and typing stay with the box.
      if (wp == VK_TAB) {
        result &= ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
      }
    }
    return result;
  }

  // A push button whose caption wraps over the whole face inside its 3-D
  // edge, centred both ways, with the system's word-breaking rules.
  void DrawCaptionButton(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT face = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(dc, &face, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    RECT text = face;
    InflateRect(&text, -2 * GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    if (pushed) OffsetRect(&text, 1, 1);
    char caption[64] = {};
    const int length = GetWindowTextA(item.hwndItem, caption, sizeof caption);
    const HGDIOBJ old_font =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK;
    RECT needed = text;
    DrawTextA(dc, caption, length, &needed, kFormat | DT_CALCRECT);
    const int spare = (text.bottom - text.top) - (needed.bottom - needed.top);
    if (spare > 0) text.top += spare / 2;
    DrawTextA(dc, caption, length, &text, kFormat);
    SelectObject(dc, old_font);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
      RECT focus = face;
      InflateRect(&focus, -3, -3);
      DrawFocusRect(dc, &focus);
    }
  }

  // A button's click, or Enter.
  void OnCommand(WPARAM wp) {
    const int id = LOWORD(wp);
    if (id == IDOK) {
      // Enter with no default button: press the focused push button.
      HWND focus = GetFocus();
      const ControlSpec* spec = SpecOf(focus);
      if (spec && spec->kind == ControlKind::Button) SendMessageA(focus, BM_CLICK, 0, 0);
      return;
    }
    const int index = id - form1::kFirstControlId;
    if (HIWORD(wp) == BN_CLICKED && index >= 0 && index < static_cast<int>(form1::kControlCount)) {
      // A disabled button has no click, whoever sends the command.
      const ControlId clicked = form1::Controls()[index].id;
      if (IsWindowEnabled(controls_[Index(clicked)])) Clicked(clicked);
    }
  }

  // Classic check boxes ask their parent for the caption colour; the text
  // boxes get their background. 0 for any other control.
  LRESULT OnCtlColor(UINT message, WPARAM wp, LPARAM lp) {
    HDC dc = reinterpret_cast<HDC>(wp);
    if (message == WM_CTLCOLOREDIT) {
      if (!text_box_brush_) return 0;
      SetBkColor(dc, kTextBoxBack);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(text_box_brush_.get());
    }
    const ControlSpec* spec = SpecOf(reinterpret_cast<HWND>(lp));
    if (!spec || spec->kind != ControlKind::CheckBox) return 0;
    SetTextColor(dc, colours_[Index(spec->id)]);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }

  // Keeps the focus on a control across activation, as a dialog does; the
  // first activation puts it on Test. True when the focus was set here.
  bool OnActivate(WPARAM wp) {
    if (LOWORD(wp) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus && IsChild(hwnd_, focus)) focus_ = focus;
      return false;
    }
    if (!focus_ || !IsWindow(focus_)) return false;
    SetFocus(IsWindowEnabled(focus_) ? focus_ : GetNextDlgTabItem(hwnd_, focus_, FALSE));
    return true;
  }

  // The window is gone: nothing of it may be used any more.
  void Forget(HWND window) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    tooltip_ = nullptr;
    controls_.fill(nullptr);
    has_tip_.fill(false);
    colours_.fill(kBlack);
    focus_ = nullptr;
    for (std::string& text : pending_) text.clear();
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
      case WM_COMMAND:
        OnCommand(wp);
        return 0;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
        if (const LRESULT brush = OnCtlColor(message, wp, lp)) return brush;
        break;
      case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item->CtlType != ODT_BUTTON) break;
        DrawCaptionButton(*item);
        return TRUE;
      }
      case WM_ACTIVATE:
        if (OnActivate(wp)) return 0;
        break;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      case WM_NCDESTROY:
        Forget(window);
        break;
      default:
        break;
    }
    return DefWindowProcA(window, message, wp, lp);
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
      self->hwnd_ = window;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self || self->hwnd_ != window) return DefWindowProcA(window, message, wp, lp);
    // Nothing thrown may cross back into the system: a failure that no
    // handler trapped is reported like a trapped one.
    try {
      return self->Handle(window, message, wp, lp);
    } catch (...) {
      try {
        ErrorTrap(self->log_, TrapWording::Window).ReportCaught();
      } catch (...) {
      }
    }
    return 0;
  }

  static inline WNDPROC text_box_procedure_ = nullptr;  // the edit class's own
  UniqueModule common_controls_;
  HINSTANCE instance_;
  Support& support_;
  EventLog& log_;
  Form1Handlers handlers_;
  std::array<UniqueFont, form1::kFontCount> fonts_;  // by FontKind
  UniqueBrush text_box_brush_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;
  int dpi_ = 96;
  bool loading_ = false;                // the load handler is running
  bool show_after_load_ = false;        // ... and has shown the window
  std::array<std::string, 2> pending_;  // each box's text appended meanwhile
  std::array<HWND, form1::kControlCount> controls_{};
  std::array<COLORREF, form1::kControlCount> colours_{};
  std::array<bool, form1::kControlCount> has_tip_{};
};

}  // namespace

std::unique_ptr<Win32Form1> MakeForm1(HINSTANCE instance, Support& support, EventLog& log) {
  return std::make_unique<Form1Window>(instance, support, log);
}

}  // namespace kestrad
