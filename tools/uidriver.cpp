// uidriver: drives another program's windows for the end-to-end tests, only
// through window messages, and reports what it sees as one JSON object per
// command on standard output.
//
//   uidriver windows <who>                   visible top-level windows
//   uidriver wait-box <who> <ms>             wait for a message box, describe it
//   uidriver click-ok <who> <ms>             wait for a message box, press OK
//   uidriver click <hwnd> <id>               press a button of a dialog
//   uidriver wait-window <title> <ms>        wait for a top-level window by title
//   uidriver close-window <title>            post WM_CLOSE to it
//   uidriver wait-exit <who> <ms>            wait until the process(es) ended
//   uidriver dump-window <title>             child controls of a window
//   uidriver kill <who>                      end the process(es), exit code 0xDEAD
//   uidriver window-rect <title>             screen position of the client area
//   uidriver focus <title>                   the focused control of the window's thread
//   uidriver type <hwnd> <text>              post WM_CHAR for each character ("\n": Enter)
//   uidriver post <hwnd> <msg> <wp> <lp>     post any message (numbers, 0x for hex)
//   uidriver tooltips <title>                tools and texts of the window's tooltips
//   uidriver serve                           the above, one command per stdin line
//
// <who> is "any", a Windows process id, or "exe:<name>" (all processes with
// that image name, case-insensitive), so a test can follow the program under
// test without knowing its Windows pid.
//
// Exit codes: 0 found/done, 1 timeout or not found, 2 usage error.

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- JSON output -----------------------------------------------------------

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::string Json(const std::wstring& w) {
  std::string s = Utf8(w);
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "\"0x%llx\"",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

int Emit(bool ok, const std::string& body) {
  std::printf("{\"ok\":%s%s%s}\n", ok ? "true" : "false", body.empty() ? "" : ",", body.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

int Fail(const char* error, const std::string& more = std::string()) {
  return Emit(false, std::string("\"error\":\"") + error + "\"" + (more.empty() ? "" : ",") + more);
}

// ---- window helpers --------------------------------------------------------

std::wstring Text(HWND w) {
  // WM_GETTEXT, not GetWindowText: the latter does not ask other processes'
  // controls for their text. With a time limit, so a hung program cannot hang
  // the driver too.
  DWORD_PTR len = 0, got = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len))
    return std::wstring();
  std::wstring s(static_cast<size_t>(len) + 1, L'\0');
  if (!SendMessageTimeoutW(w, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]),
                           SMTO_ABORTIFHUNG, 2000, &got))
    return std::wstring();
  s.resize(static_cast<size_t>(got) < s.size() ? static_cast<size_t>(got) : s.size() - 1);
  return s;
}

std::wstring ClassOf(HWND w) {
  wchar_t buf[256];
  int n = GetClassNameW(w, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

// Which processes a command is about.
struct Who {
  bool any = false;
  DWORD pid = 0;
  std::wstring exe;

  static bool Parse(const char* arg, Who* who) {
    if (std::strcmp(arg, "any") == 0) {
      who->any = true;
      return true;
    }
    if (std::strncmp(arg, "exe:", 4) == 0) {
      std::string a(arg + 4);
      who->exe.assign(a.begin(), a.end());
      return !who->exe.empty();
    }
    char* end = nullptr;
    who->pid = static_cast<DWORD>(std::strtoul(arg, &end, 0));
    return *end == '\0' && who->pid != 0;
  }

  // The process ids that match now (empty for "any").
  std::set<DWORD> Pids() const {
    std::set<DWORD> pids;
    if (pid) {
      pids.insert(pid);
      return pids;
    }
    if (exe.empty()) return pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof(pe);
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
      if (_wcsicmp(pe.szExeFile, exe.c_str()) == 0) pids.insert(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return pids;
  }

  bool Matches(HWND w, const std::set<DWORD>& pids) const {
    return any || pids.count(PidOf(w)) != 0;
  }
};

BOOL CALLBACK CollectVisible(HWND w, LPARAM p) {
  if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

BOOL CALLBACK CollectAll(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> all;
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectAll, reinterpret_cast<LPARAM>(&all));
  return all;
}

bool IsDialog(HWND w) { return ClassOf(w) == L"#32770"; }

// ---- message box icon ------------------------------------------------------
//
// The icon handle of another process cannot be compared with ours (Wine keeps
// icon data per process), so the icon is told apart by its pixels: the icon
// control is copied from the screen and compared with each standard icon drawn
// here on the same background. Good enough to tell the four apart; "unknown"
// when the screen cannot be read.

struct IconKind {
  const char* name;
  LPCSTR id;
};
const IconKind kIcons[] = {
    {"hand", IDI_HAND},
    {"exclamation", IDI_EXCLAMATION},
    {"asterisk", IDI_ASTERISK},
    {"question", IDI_QUESTION},
};

std::vector<COLORREF> Pixels(HDC src, int x, int y, int cx, int cy) {
  std::vector<COLORREF> px;
  HDC mem = CreateCompatibleDC(src);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = cx;
  bi.bmiHeader.biHeight = -cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp && bits) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, cx, cy, src, x, y, SRCCOPY);
    GdiFlush();
    const DWORD* p = static_cast<const DWORD*>(bits);
    px.assign(p, p + cx * cy);
    SelectObject(mem, old);
  }
  if (bmp) DeleteObject(bmp);
  DeleteDC(mem);
  return px;
}

std::vector<COLORREF> RenderIcon(HICON icon, COLORREF background, int cx, int cy, int ix, int iy) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT r = {0, 0, cx, cy};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(mem, &r, brush);
  DeleteObject(brush);
  DrawIconEx(mem, ix, iy, icon, 0, 0, 0, nullptr, DI_NORMAL);
  std::vector<COLORREF> px = Pixels(mem, 0, 0, cx, cy);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return px;
}

long long Distance(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
  if (a.size() != b.size() || a.empty()) return -1;
  long long d = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      d += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF));
    }
  }
  return d;
}

std::string IconName(HWND icon_control) {
  if (!icon_control || !IsWindowVisible(icon_control)) return "none";
  RECT r;
  GetWindowRect(icon_control, &r);
  int cx = r.right - r.left, cy = r.bottom - r.top;
  if (cx <= 0 || cy <= 0 || cx > 256 || cy > 256) return "unknown";
  // Bring the box forward so nothing covers the icon while it is read.
  SetForegroundWindow(GetAncestor(icon_control, GA_ROOT));
  Sleep(150);
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> shot = Pixels(screen, r.left, r.top, cx, cy);
  ReleaseDC(nullptr, screen);
  if (shot.empty()) return "unknown";
  // The corner pixel is background: icons have transparent corners.
  COLORREF bg = shot[0];
  COLORREF bg_rgb = RGB((bg >> 16) & 0xFF, (bg >> 8) & 0xFF, bg & 0xFF);
  bool blank = true;
  for (COLORREF c : shot) blank = blank && c == bg;
  if (blank) return "none";
  std::string best = "unknown";
  long long best_d = -1, second_d = -1;
  for (const IconKind& k : kIcons) {
    HICON icon = LoadIconA(nullptr, k.id);
    // An SS_ICON static draws its icon at the top left corner.
    long long d = Distance(shot, RenderIcon(icon, bg_rgb, cx, cy, 0, 0));
    if (d < 0) continue;
    if (best_d < 0 || d < best_d) {
      second_d = best_d;
      best_d = d;
      best = k.name;
    } else if (second_d < 0 || d < second_d) {
      second_d = d;
    }
  }
  // Only an exact-ish match counts; a near tie means the picture is not one
  // of ours (or not drawn yet).
  if (best_d < 0 || (second_d >= 0 && best_d * 4 > second_d)) return "unknown";
  return best;
}

// ---- describing windows ----------------------------------------------------

std::string DescribeBox(HWND box) {
  std::wstring prompt;
  HWND icon = nullptr;
  bool have_prompt = false;
  std::string buttons;
  for (HWND c : Children(box)) {
    if (GetParent(c) != box) continue;
    std::wstring cls = ClassOf(c);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    int id = GetDlgCtrlID(c);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        icon = c;
      } else if (id == 0xFFFF) {
        prompt = Text(c);
        have_prompt = true;
      }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
      if (!buttons.empty()) buttons += ",";
      buttons += "{\"id\":" + std::to_string(id) + ",\"text\":" + Json(Text(c)) + "}";
    }
  }
  std::string out = "\"title\":" + Json(Text(box));
  out += ",\"prompt\":" + (have_prompt ? Json(prompt) : std::string("null"));
  out += ",\"icon\":\"" + IconName(icon) + "\"";
  out += ",\"buttons\":[" + buttons + "]";
  return out;
}

std::string DescribeTop(HWND w) {
  std::string out = "{\"hwnd\":" + Hex(w) + ",\"pid\":" + std::to_string(PidOf(w)) +
                    ",\"class\":" + Json(ClassOf(w)) + ",\"title\":" + Json(Text(w));
  // A message box is a dialog with a prompt static (id 0xFFFF); a dialog-based
  // main window is not.
  if (IsDialog(w) && GetDlgItem(w, 0xFFFF)) out += ",\"box\":{" + DescribeBox(w) + "}";
  return out + "}";
}

HWND FindBox(const Who& who) {
  std::set<DWORD> pids = who.Pids();
  if (!who.any && pids.empty()) return nullptr;
  for (HWND w : TopLevelWindows()) {
    if (IsDialog(w) && who.Matches(w, pids) && GetDlgItem(w, 0xFFFF)) return w;
  }
  return nullptr;
}

// A title, or "hwnd:0x..." for a window already found by another command.
HWND FindByTitle(const std::wstring& title) {
  if (title.compare(0, 5, L"hwnd:") == 0) {
    HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(title.c_str() + 5, nullptr, 0)));
    return IsWindow(w) ? w : nullptr;
  }
  for (HWND w : TopLevelWindows()) {
    if (Text(w) == title) return w;
  }
  return nullptr;
}

template <typename F>
auto Poll(DWORD timeout_ms, F probe) -> decltype(probe()) {
  const DWORD start = GetTickCount();
  for (;;) {
    auto found = probe();
    if (found || GetTickCount() - start >= timeout_ms) return found;
    Sleep(50);
  }
}

std::wstring Wide(const char* s) {
  // main()'s arguments come in the ANSI code page.
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
  return w;
}

// ---- commands --------------------------------------------------------------

int CmdWindows(const Who& who) {
  std::set<DWORD> pids = who.Pids();
  std::string list;
  for (HWND w : TopLevelWindows()) {
    if (!who.any && !who.Matches(w, pids)) continue;
    if (!list.empty()) list += ",";
    list += DescribeTop(w);
  }
  return Emit(true, "\"processes\":" + std::to_string(pids.size()) + ",\"windows\":[" + list + "]");
}

int CmdWaitBox(const Who& who, DWORD ms, bool press_ok) {
  HWND box = Poll(ms, [&] { return FindBox(who); });
  if (!box) return Fail("timeout");
  // Let the box finish painting before its icon is read.
  Sleep(100);
  std::string desc = DescribeTop(box);
  if (press_ok) {
    // Posted, not sent: the owner may open the next modal box from its
    // handler, and a sent message would then block here until that closes.
    HWND ok = GetDlgItem(box, IDOK);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  }
  return Emit(true, "\"window\":" + desc);
}

int CmdClick(HWND w, int id) {
  if (!IsWindow(w)) return Fail("no such window");
  HWND button = GetDlgItem(w, id);
  PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return Emit(true, std::string());
}

int CmdWaitWindow(const std::wstring& title, DWORD ms) {
  HWND w = Poll(ms, [&] { return FindByTitle(title); });
  if (!w) return Fail("timeout");
  return Emit(true, "\"window\":" + DescribeTop(w));
}

int CmdCloseWindow(const std::wstring& title) {
  HWND w = FindByTitle(title);
  if (!w) return Fail("not found");
  std::string desc = DescribeTop(w);
  PostMessageW(w, WM_CLOSE, 0, 0);
  return Emit(true, "\"window\":" + desc);
}

int CmdWaitExit(const Who& who, DWORD ms) {
  if (who.any) return Fail("wait-exit needs a pid or exe:name");
  auto ended = [&] {
    if (!who.pid) return who.Pids().empty();
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, who.pid);
    if (!h) return true;
    bool done = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return done;
  };
  bool gone = Poll(ms, ended);
  if (!gone) return Fail("timeout");
  return Emit(true, std::string());
}

int CmdKill(const Who& who) {
  if (who.any) return Fail("kill needs a pid or exe:name");
  int killed = 0;
  for (DWORD pid : who.Pids()) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (h && TerminateProcess(h, 0xDEAD)) ++killed;
    if (h) CloseHandle(h);
  }
  return Emit(true, "\"killed\":" + std::to_string(killed));
}

int CmdDumpWindow(const std::wstring& title) {
  HWND top = FindByTitle(title);
  if (!top) return Fail("not found");
  std::string list;
  for (HWND c : Children(top)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    std::wstring cls = ClassOf(c);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    char buf[256];
    std::snprintf(buf, sizeof(buf),
                  ",\"id\":%d,\"rect\":[%ld,%ld,%ld,%ld],\"style\":\"0x%08lx\",\"exstyle\":"
                  "\"0x%08lx\",\"enabled\":%s,\"visible\":%s",
                  GetDlgCtrlID(c), r.left, r.top, r.right, r.bottom,
                  static_cast<unsigned long>(style),
                  static_cast<unsigned long>(GetWindowLongW(c, GWL_EXSTYLE)),
                  IsWindowEnabled(c) ? "true" : "false", IsWindowVisible(c) ? "true" : "false");
    std::string item = "{\"hwnd\":" + Hex(c) + ",\"parent\":" + Hex(GetParent(c)) +
                       ",\"class\":" + Json(cls) + ",\"text\":" + Json(Text(c)) + buf;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      item += ",\"check\":" + std::to_string(SendMessageW(c, BM_GETCHECK, 0, 0));
    }
    if (!list.empty()) list += ",";
    list += item + "}";
  }
  RECT client;
  GetClientRect(top, &client);
  char size[64];
  std::snprintf(size, sizeof(size), ",\"client\":[%ld,%ld]", client.right, client.bottom);
  return Emit(true, "\"window\":" + DescribeTop(top) + size + ",\"children\":[" + list + "]");
}

HWND HwndArg(const char* s) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(s, nullptr, 0)));
}

std::string Rect(const RECT& r) {
  char buf[96];
  std::snprintf(buf, sizeof(buf), "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return buf;
}

// The client area in screen coordinates [left, top, right, bottom], for
// reading the window's pixels off the display.
int CmdWindowRect(const std::wstring& title) {
  HWND top = FindByTitle(title);
  if (!top) return Fail("not found");
  RECT client, outer;
  GetClientRect(top, &client);
  MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&client), 2);
  GetWindowRect(top, &outer);
  return Emit(true, "\"client\":" + Rect(client) + ",\"window\":" + Rect(outer));
}

// GetFocus only answers for the calling thread; the GUI thread info of the
// window's thread tells which of its controls has the keyboard.
int CmdFocus(const std::wstring& title) {
  HWND top = FindByTitle(title);
  if (!top) return Fail("not found");
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) {
    return Fail("no thread info");
  }
  HWND f = info.hwndFocus;
  return Emit(true, "\"focus\":" + Hex(f) + ",\"id\":" + std::to_string(f ? GetDlgCtrlID(f) : 0) +
                        ",\"text\":" + Json(f ? Text(f) : std::wstring()) +
                        ",\"active\":" + Hex(info.hwndActive));
}

// Keys as a user types them: one posted WM_CHAR per character, through the
// target's message loop (and so through its IsDialogMessage).
int CmdType(HWND w, const std::wstring& text) {
  if (!IsWindow(w)) return Fail("no such window");
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
      c = L'\r';
      ++i;
    }
    PostMessageW(w, WM_CHAR, c, 1);
  }
  return Emit(true, std::string());
}

int CmdPost(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (!IsWindow(w)) return Fail("no such window");
  return Emit(PostMessageW(w, msg, wp, lp) != FALSE, std::string());
}

// The tooltip controls of the window's process keep their tools in that
// process: TOOLINFOA and the text buffer are placed there, filled by
// TTM_ENUMTOOLSA and TTM_GETTEXTW, and read back. The structure is laid out
// as this program's, so the driver must be built for the target's bitness.
int CmdTooltips(const std::wstring& title) {
  HWND top = FindByTitle(title);
  if (!top) return Fail("not found");
  const DWORD pid = PidOf(top);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                   PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!process) return Fail("cannot open process");
  const SIZE_T kTextSize = 4096;
  char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(TOOLINFOA) + kTextSize,
                                                   MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!remote) {
    CloseHandle(process);
    return Fail("cannot allocate");
  }
  char* remote_text = remote + sizeof(TOOLINFOA);
  std::vector<HWND> all;
  EnumWindows(CollectAll, reinterpret_cast<LPARAM>(&all));
  std::string windows;
  for (HWND tip : all) {
    if (PidOf(tip) != pid || _wcsicmp(ClassOf(tip).c_str(), L"tooltips_class32") != 0) continue;
    const LRESULT count = SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0);
    std::string tools;
    for (LRESULT i = 0; i < count; ++i) {
      TOOLINFOA info{};
      info.cbSize = TTTOOLINFOA_V2_SIZE;
      WriteProcessMemory(process, remote, &info, sizeof(info), nullptr);
      if (!SendMessageA(tip, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(remote))) continue;
      ReadProcessMemory(process, remote, &info, sizeof(info), nullptr);
      // The wide request: the ANSI one cuts every text at 80 bytes.
      std::vector<wchar_t> text(kTextSize / sizeof(wchar_t), L'\0');
      WriteProcessMemory(process, remote_text, text.data(), kTextSize, nullptr);
      TOOLINFOW wide{};
      std::memcpy(&wide, &info, sizeof(wide));
      wide.cbSize = TTTOOLINFOW_V2_SIZE;
      wide.lpszText = reinterpret_cast<wchar_t*>(remote_text);
      WriteProcessMemory(process, remote, &wide, sizeof(wide), nullptr);
      SendMessageW(tip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(remote));
      ReadProcessMemory(process, remote_text, text.data(), kTextSize, nullptr);
      text.back() = L'\0';
      HWND tool = (info.uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(info.uId) : nullptr;
      if (!tools.empty()) tools += ",";
      tools += "{\"tool\":" + Hex(reinterpret_cast<void*>(info.uId)) +
               ",\"id\":" + std::to_string(tool ? GetDlgCtrlID(tool) : 0) +
               ",\"flags\":" + std::to_string(info.uFlags) +
               ",\"text\":" + Json(std::wstring(text.data())) + "}";
    }
    if (!windows.empty()) windows += ",";
    windows += "{\"hwnd\":" + Hex(tip) + ",\"owner\":" + Hex(GetWindow(tip, GW_OWNER)) +
               ",\"tools\":[" + tools + "]}";
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return Emit(true, "\"tooltips\":[" + windows + "]");
}

int Usage() {
  std::fprintf(stderr,
               "usage: uidriver windows <who>\n"
               "       uidriver wait-box <who> <ms>\n"
               "       uidriver click-ok <who> <ms>\n"
               "       uidriver click <hwnd> <id>\n"
               "       uidriver wait-window <title> <ms>\n"
               "       uidriver close-window <title>\n"
               "       uidriver wait-exit <who> <ms>\n"
               "       uidriver dump-window <title>\n"
               "       uidriver kill <who>\n"
               "       uidriver window-rect <title>\n"
               "       uidriver focus <title>\n"
               "       uidriver type <hwnd> <text>\n"
               "       uidriver post <hwnd> <msg> <wparam> <lparam>\n"
               "       uidriver tooltips <title>\n"
               "  <who>: any | <windows pid> | exe:<image name>\n");
  return 2;
}

DWORD Millis(const char* s) { return static_cast<DWORD>(std::strtoul(s, nullptr, 10)); }

int Dispatch(int argc, char** argv);

// Starting a user32 program under Wine costs about half a second, too much
// for polling: "serve" reads one command per line (fields separated by tabs)
// and answers each with one JSON line, until end of input.
int Serve() {
  char line[4096];
  while (std::fgets(line, sizeof(line), stdin)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) continue;
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
      size_t tab = text.find('\t', pos);
      fields.push_back(text.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
      if (tab == std::string::npos) break;
      pos = tab + 1;
    }
    std::vector<char*> args;
    static char name[] = "uidriver";
    args.push_back(name);
    for (std::string& f : fields) args.push_back(&f[0]);
    args.push_back(nullptr);
    if (Dispatch(static_cast<int>(args.size()) - 1, args.data()) == 2) Fail("usage");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve();
  return Dispatch(argc, argv);
}

namespace {

int Dispatch(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string cmd = argv[1];
  Who who;
  if (cmd == "windows" && argc == 3 && Who::Parse(argv[2], &who)) return CmdWindows(who);
  if ((cmd == "wait-box" || cmd == "click-ok") && argc == 4 && Who::Parse(argv[2], &who))
    return CmdWaitBox(who, Millis(argv[3]), cmd == "click-ok");
  if (cmd == "click" && argc == 4)
    return CmdClick(reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 0))),
                    static_cast<int>(std::strtol(argv[3], nullptr, 0)));
  if (cmd == "wait-window" && argc == 4) return CmdWaitWindow(Wide(argv[2]), Millis(argv[3]));
  if (cmd == "close-window" && argc == 3) return CmdCloseWindow(Wide(argv[2]));
  if (cmd == "wait-exit" && argc == 4 && Who::Parse(argv[2], &who))
    return CmdWaitExit(who, Millis(argv[3]));
  if (cmd == "kill" && argc == 3 && Who::Parse(argv[2], &who)) return CmdKill(who);
  if (cmd == "dump-window" && argc == 3) return CmdDumpWindow(Wide(argv[2]));
  if (cmd == "window-rect" && argc == 3) return CmdWindowRect(Wide(argv[2]));
  if (cmd == "focus" && argc == 3) return CmdFocus(Wide(argv[2]));
  if (cmd == "type" && argc == 4) return CmdType(HwndArg(argv[2]), Wide(argv[3]));
  if (cmd == "post" && argc == 6)
    return CmdPost(HwndArg(argv[2]), static_cast<UINT>(std::strtoul(argv[3], nullptr, 0)),
                   static_cast<WPARAM>(std::strtoull(argv[4], nullptr, 0)),
                   static_cast<LPARAM>(std::strtoll(argv[5], nullptr, 0)));
  if (cmd == "tooltips" && argc == 3) return CmdTooltips(Wide(argv[2]));
  return Usage();
}

}  // namespace
