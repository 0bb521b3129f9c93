// winhelper: what the end-to-end tests can only do from a Win32 program.
// It starts kestrad.exe with its output in files, follows its windows,
// answers its message boxes, presses its buttons with synchronous messages,
// reads its controls, and writes registry keys (those under HKLM\HARDWARE
// volatile, as Wine keeps that branch).
//
//   winhelper serve     one command per line on standard input, fields
//                       separated by tabs; each answer ends with a line "done",
//                       "timeout" or "error <what>"
//   winhelper load <dll>  loads the DLL by name, as a program would: the
//                       probe that a planted DLL is found where it is planted
//   winhelper record <address>   writes the address into a new file of the
//                       folder %KESTRAD_URL_DIR%: the prefix's web browser, as
//                       the tests register it
//
// Commands (UTF-8; keys relative to HKLM, or to HKCU as HKCU\...; texts
// escaped as \r \n \\ \xNN):
//   start <folder> <output file> <command line> [<NAME=value>]   the child
//                        gets NAME=value in its environment; its standard
//                        error goes to <output file>.err; an empty output
//                        file name gives it no standard output or error
//   time <folder> <output file> <command line>   starts the program as
//                        start does and waits for its end (at most 120 s):
//                        "ended <exit code> <microseconds from start to end>"
//   paint <folder> <output file> <command line>   starts the program as start does,
//                        times it to its window's first paint (see Paint), then
//                        closes the window: "painted <exit code> <microseconds>
//                        <client width> <client height>"
//   next <ms>            the program's next new window, or its end:
//                        "box <hwnd> <title> <prompt>" (answered with OK),
//                        "window <hwnd> <title>", "ended <exit code>"
//   press <hwnd> <caption> <ms>  clicks the button of that caption (its &
//                        left out) and waits until its handler is done,
//                        answering every box it shows ("box ..." lines)
//   read <hwnd>          "control <name> <enabled> <check> <l t r b> <text>"
//                        per control in tab order, the rectangle in the
//                        window's client area
// The controls' names and identifiers are the window's own layout table's.
//   close <hwnd>         posts WM_CLOSE
//   rect <hwnd>          "rect <left> <top> <right> <bottom>" of the client area,
//                        then the same of the whole window, on the screen
//   set <key> <name> dword <hex> | set <key> <name> sz <text>
//   delete <key> | delvalue <key> <name>
//   get <key> <name>     "none" when the value is not there
//   values <key>         "value <key> <name> <type> <data>" for every value
//                        of the key and its subkeys: the key as
//                        HKEY_LOCAL_MACHINE\..., a DWORD as REG_DWORD 0x...,
//                        any other value as its type number and hex bytes
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/transcript_text.h"
#include "ui/form1_layout.h"
#include "win32/unique_handle.h"

namespace {

PROCESS_INFORMATION g_child{};
kestrad::UniqueKernelObject g_child_process, g_child_thread;
std::set<HWND> g_reported;

std::string Escape(const std::string& text) { return kestrad::testing::TranscriptText(text); }

std::string Text(HWND w) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 30000, &length)) return {};
  std::string text(length + 1, '\0');
  SendMessageTimeoutA(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL,
                      30000, &length);
  text.resize(length);
  return text;
}

std::string ClassOf(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

BOOL CALLBACK AddChildWindow(HWND w, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == g_child.dwProcessId && IsWindowVisible(w)) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
  }
  return TRUE;
}

// The child's visible top-level windows.
std::vector<HWND> ChildWindows() {
  std::vector<HWND> found;
  EnumWindows(AddChildWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

DWORD ExitCode() {
  DWORD code = 0;
  GetExitCodeProcess(g_child.hProcess, &code);
  return code;
}

// Reports a new window; a message box is answered with OK.
void Describe(HWND w) {
  g_reported.insert(w);
  if (ClassOf(w) == "#32770") {
    std::printf("box\t%p\t%s\t%s\n", static_cast<void*>(w), Escape(Text(w)).c_str(),
                Escape(Text(GetDlgItem(w, 0xFFFF))).c_str());
    DWORD_PTR ignored;
    SendMessageTimeoutA(w, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 10000, &ignored);
  } else {
    std::printf("window\t%p\t%s\n", static_cast<void*>(w), Escape(Text(w)).c_str());
  }
}

bool Next(DWORD ms) {
  for (DWORD waited = 0; waited <= ms; waited += 20) {
    for (HWND w : ChildWindows()) {
      if (!g_reported.count(w)) return Describe(w), true;
    }
    if (WaitForSingleObject(g_child.hProcess, 20) == WAIT_OBJECT_0) {
      std::printf("ended\t%lu\n", ExitCode());
      return true;
    }
  }
  return false;
}

// The button is clicked by a sent message, so a WM_NULL sent after it is
// handled only when the click's handler has returned, or inside the modal
// loop of a box the handler shows, which is then answered. That loop can
// answer before its box is visible, but the box has disabled the window by
// then: the press is done when the window answers, is enabled, and no box of
// the program is up.
bool Press(HWND window, const std::string& name, DWORD ms) {
  HWND button = nullptr;
  for (const kestrad::form1::ControlSpec& spec : kestrad::form1::Controls()) {
    std::string caption = spec.caption;
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    if (name == caption) button = GetDlgItem(window, kestrad::form1::ControlCommandId(spec.id));
  }
  if (button == nullptr) return false;
  SendNotifyMessageA(button, BM_CLICK, 0, 0);
  for (DWORD waited = 0; waited <= ms; waited += 20) {
    DWORD_PTR ignored;
    const bool idle = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20, &ignored) != 0;
    bool box = false;
    for (HWND w : ChildWindows()) {
      if (ClassOf(w) != "#32770") continue;
      box = true;
      if (!g_reported.count(w)) Describe(w);
    }
    if (idle && !box && IsWindowEnabled(window)) return true;
  }
  return false;
}

kestrad::UniqueKey Open(std::string key, bool create) {
  kestrad::UniqueKey k;
  HKEY root = HKEY_LOCAL_MACHINE;
  if (key.rfind("HKCU\\", 0) == 0) root = HKEY_CURRENT_USER, key = key.substr(5);
  // Wine keeps HKLM\HARDWARE in memory only: keys there must be volatile.
  const DWORD option = key.rfind("HARDWARE\\", 0) == 0 ? REG_OPTION_VOLATILE : 0;
  if (create) {
    RegCreateKeyExA(root, key.c_str(), 0, nullptr, option, KEY_ALL_ACCESS, nullptr, k.put(),
                    nullptr);
  } else {
    RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, k.put());
  }
  return k;
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], static_cast<int>(wide.size())) -
      1));
  return wide;
}

const char* Registry(const std::vector<std::string>& f) {
  if (f[0] == "delete") return SHDeleteKeyA(HKEY_LOCAL_MACHINE, f[1].c_str()), "done";
  const kestrad::UniqueKey k = Open(f[1], f[0] == "set");
  if (!k) return f[0] == "get" ? "none\ndone" : "error key";
  LONG rc = ERROR_SUCCESS;
  if (f[0] == "set" && f[3] == "dword") {
    const DWORD value = std::strtoul(f[4].c_str(), nullptr, 16);
    rc = RegSetValueExA(k.get(), f[2].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        4);
  } else if (f[0] == "set" && f[3] == "hex1") {
    // A string as regedit's hex(1) gives it: its UTF-16 bytes, "3d,00,...".
    std::string bytes;
    for (std::size_t i = 0; i + 1 < f[4].size(); i += 3)
      bytes += static_cast<char>(std::strtoul(f[4].substr(i, 2).c_str(), nullptr, 16));
    rc = RegSetValueExW(k.get(), Wide(f[2]).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
  } else if (f[0] == "set") {
    rc = RegSetValueExA(k.get(), f[2].c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(f[4].c_str()),
                        static_cast<DWORD>(f[4].size() + 1));
  } else if (f[0] == "delvalue") {
    RegDeleteValueA(k.get(), f[2].c_str());
  } else if (RegQueryValueExA(k.get(), f[2].c_str(), nullptr, nullptr, nullptr, nullptr)) {
    std::printf("none\n");
  }
  return rc == ERROR_SUCCESS ? "done" : "error value";
}

// False when a key or value under `key` could not be read whole: the caller
// must not take what was printed for all there is. A missing `key` is empty.
bool Values(const std::string& key, bool top = true) {
  kestrad::UniqueKey k;
  const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put());
  if (opened != ERROR_SUCCESS) return top && opened == ERROR_FILE_NOT_FOUND;
  DWORD subkeys = 0, subkey_max = 0, name_max = 0, data_max = 0;
  if (RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, &subkeys, &subkey_max, nullptr, nullptr,
                       &name_max, &data_max, nullptr, nullptr)) {
    return false;
  }
  std::string name(name_max + 1, '\0');
  std::vector<BYTE> data(data_max + 1);
  LONG rc = ERROR_SUCCESS;
  for (DWORD i = 0; rc == ERROR_SUCCESS; ++i) {
    DWORD name_size = static_cast<DWORD>(name.size()), data_size = data_max, type = 0;
    rc = RegEnumValueA(k.get(), i, &name[0], &name_size, nullptr, &type, data.data(), &data_size);
    if (rc != ERROR_SUCCESS) break;
    char text[16];
    std::string shown;
    if (type == REG_DWORD && data_size == 4) {
      std::snprintf(text, sizeof text, "0x%lx",
                    *reinterpret_cast<const unsigned long*>(data.data()));
      shown = text;
    } else {
      for (DWORD b = 0; b < data_size; ++b) {
        std::snprintf(text, sizeof text, "%02x", data[b]);
        shown += text;
      }
    }
    std::printf("value\tHKEY_LOCAL_MACHINE\\%s\t%s\t%s\t%s\n", key.c_str(),
                name.substr(0, name_size).c_str(),
                type == REG_DWORD ? "REG_DWORD" : std::to_string(type).c_str(), shown.c_str());
  }
  if (rc != ERROR_NO_MORE_ITEMS) return false;
  std::string sub(subkey_max + 1, '\0');
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD size = static_cast<DWORD>(sub.size());
    if (RegEnumKeyExA(k.get(), i, &sub[0], &size, nullptr, nullptr, nullptr, nullptr) ||
        !Values(key + "\\" + sub.substr(0, size), false)) {
      return false;
    }
  }
  return true;
}

bool Start(const std::vector<std::string>& f) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  auto file = [&](const std::string& path, DWORD access, DWORD how) {
    return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       how, 0, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  const kestrad::UniqueFile in(file("NUL", GENERIC_READ, OPEN_EXISTING));
  // No output file: no standard output or error handle at all.
  const auto output = [&](const std::string& path) {
    return f[2].empty() ? INVALID_HANDLE_VALUE : file(path, GENERIC_WRITE, CREATE_ALWAYS);
  };
  const kestrad::UniqueFile out(output(f[2])), err(output(f[2] + ".err"));
  startup.hStdInput = in.get();
  startup.hStdOutput = out ? out.get() : nullptr;
  startup.hStdError = err ? err.get() : nullptr;
  std::wstring command = Wide(f[3]);
  // The child inherits the environment, with the one change asked for.
  const std::wstring assignment = f.size() > 4 ? Wide(f[4]) : L"";
  const std::wstring name = assignment.substr(0, assignment.find(L'='));
  std::wstring saved(32767, L'\0');
  saved.resize(name.empty() ? 0 : GetEnvironmentVariableW(name.c_str(), &saved[0], 32767));
  if (!name.empty())
    SetEnvironmentVariableW(name.c_str(), assignment.substr(name.size() + 1).c_str());
  g_reported.clear();
  const BOOL ok = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                 Wide(f[1]).c_str(), &startup, &g_child);
  if (!name.empty()) SetEnvironmentVariableW(name.c_str(), saved.empty() ? nullptr : saved.c_str());
  g_child_process.reset(ok ? g_child.hProcess : nullptr);
  g_child_thread.reset(ok ? g_child.hThread : nullptr);
  return ok != FALSE;
}

// The program's first visible window, once it and every window in it have no
// update region left, and still none once the program has answered a sent
// WM_NULL. That is answered only from a message loop, so after the code that
// showed the window, which may invalidate parts of it again (kestrad.exe's
// load handler does). A console program has no input-idle event
// (WaitForInputIdle fails at once), so this looks every millisecond, at the
// window last seen unpainted first. Null, the program ended, when it ends
// first or takes 120 s.
HWND Paint() {
  HWND window = nullptr, dirty = nullptr;
  const auto painted = [&] {
    if (dirty != nullptr && GetUpdateRect(dirty, nullptr, FALSE)) return false;
    std::vector<HWND> pending{window};
    while (!pending.empty()) {
      dirty = pending.back();
      pending.pop_back();
      if (GetUpdateRect(dirty, nullptr, FALSE)) return false;
      for (HWND c = GetWindow(dirty, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        pending.push_back(c);
    }
    return true;
  };
  DWORD_PTR ignored;
  for (const DWORD begun = GetTickCount();;) {
    std::vector<HWND> shown;  // the windows of the program's main thread
    if (!window)
      EnumThreadWindows(g_child.dwThreadId, AddChildWindow, reinterpret_cast<LPARAM>(&shown));
    if (!shown.empty()) window = shown.front();
    if (window && painted() &&
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) && painted())
      return window;
    if (WaitForSingleObject(g_child.hProcess, 1) != WAIT_TIMEOUT || GetTickCount() - begun > 120000)
      return TerminateProcess(g_child.hProcess, 1), nullptr;
  }
}

// The benchmarks' timings, from just before the start: to the process's end,
// with a blocking wait (at most 120 s), or with `paint` to its window's first
// paint, after which the window is closed and the program waited for.
bool Time(const std::vector<std::string>& f, bool paint) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!Start(f)) return false;
  const auto ended = [] { return WaitForSingleObject(g_child.hProcess, 120000) == WAIT_OBJECT_0; };
  const HWND window = paint ? Paint() : nullptr;
  if (paint ? window == nullptr : !ended()) return false;
  QueryPerformanceCounter(&end);
  const long long microseconds = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
  if (!paint) return std::printf("ended\t%lu\t%lld\n", ExitCode(), microseconds), true;
  RECT client;
  GetClientRect(window, &client);
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (!ended()) return false;
  std::printf("painted\t%lu\t%lld\t%ld\t%ld\n", ExitCode(), microseconds, client.right,
              client.bottom);
  return true;
}

const char* Serve(const std::vector<std::string>& f) {
  const auto hwnd = [&](std::size_t i) {
    return reinterpret_cast<HWND>(std::strtoull(f[i].c_str(), nullptr, 16));
  };
  const std::string& c = f[0];
  if (c == "start" && (f.size() == 4 || f.size() == 5)) return Start(f) ? "done" : "error start";
  if (c == "time" && f.size() == 4) return Time(f, false) ? "done" : "error time";
  if (c == "paint" && f.size() == 4) return Time(f, true) ? "done" : "error paint";
  if (c == "next" && f.size() == 2) return Next(std::stoul(f[1])) ? "done" : "timeout";
  if (c == "press" && f.size() == 4)
    return Press(hwnd(1), f[2], std::stoul(f[3])) ? "done" : "timeout";
  if (c == "close" && f.size() == 2) return PostMessageA(hwnd(1), WM_CLOSE, 0, 0), "done";
  if (c == "read" && f.size() == 2) {
    for (const kestrad::form1::ControlSpec& spec : kestrad::form1::Controls()) {
      HWND w = GetDlgItem(hwnd(1), kestrad::form1::ControlCommandId(spec.id));
      if (w == nullptr) return "error control";
      RECT r;
      GetWindowRect(w, &r);
      MapWindowPoints(nullptr, hwnd(1), reinterpret_cast<POINT*>(&r), 2);
      std::printf("control\t%s\t%d\t%ld\t%ld %ld %ld %ld\t%s\n", spec.name,
                  IsWindowEnabled(w) ? 1 : 0, static_cast<long>(SendMessageA(w, BM_GETCHECK, 0, 0)),
                  r.left, r.top, r.right, r.bottom, Escape(Text(w)).c_str());
    }
    return "done";
  }
  if (c == "rect" && f.size() == 2) {
    RECT r, w;
    GetClientRect(hwnd(1), &r);
    MapWindowPoints(hwnd(1), nullptr, reinterpret_cast<POINT*>(&r), 2);
    GetWindowRect(hwnd(1), &w);
    std::printf("rect\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\n", r.left, r.top, r.right, r.bottom,
                w.left, w.top, w.right, w.bottom);
    return "done";
  }
  if ((c == "set" && f.size() == 5) || (c == "delete" && f.size() == 2) ||
      ((c == "delvalue" || c == "get") && f.size() == 3)) {
    return Registry(f);
  }
  if (c == "values" && f.size() == 2) return Values(f[1]) ? "done" : "error values";
  return "error usage";
}

// The shell starts one recorder per opened address, several within
// milliseconds: each writes a file of its own under a temporary name and
// renames it, so that every address arrives whole and none is lost (appending
// to one shared file seeks to its end, then writes: two at once collide).
bool Record(const char* address) {
  char folder[MAX_PATH] = {};
  GetEnvironmentVariableA("KESTRAD_URL_DIR", folder, MAX_PATH);
  // The process id with the moment: an id can come again once its process ended.
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const std::string base = std::string(folder) + "\\" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(now.QuadPart);
  const std::string line = std::string(address) + "\n";
  DWORD written = 0;
  {
    const kestrad::UniqueFile file(
        CreateFileA((base + ".part").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    if (!file ||
        !WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
      return false;
    }
  }
  return written == line.size() && MoveFileA((base + ".part").c_str(), (base + ".url").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "record") return Record(argv[2]) ? 0 : 1;
  if (argc == 3 && std::string(argv[1]) == "load") return LoadLibraryA(argv[2]) != nullptr ? 0 : 1;
  if (argc != 2 || std::string(argv[1]) != "serve") return 2;
  char line[65536];
  while (std::fgets(line, sizeof line, stdin)) {
    std::vector<std::string> fields(1);
    for (const char* p = line; *p && *p != '\n' && *p != '\r'; ++p) {
      if (*p == '\t')
        fields.emplace_back();
      else
        fields.back() += *p;
    }
    std::printf("%s\n", Serve(fields));
    std::fflush(stdout);
  }
  return 0;
}
