// Load driver for the main window: starts kestrad.exe, presses Test (and
// optionally Fix) many times from this one process, and reports per press
// how long the program took, how many GDI and USER objects it holds, and at
// the end the full text of both channel boxes.
//
//   loaddriver.exe KESTRAD_EXE [--tests N] [--fix-every K] [--sample LIST] [--texts]
//
// --tests N      Test presses (default 1000), each a synchronous BM_CLICK.
// --fix-every K  after every K-th Test press also press Fix (posted, as it
//                shows a modal "Reboot required" box, which is then answered).
// --sample LIST  comma-separated press numbers after which the object counts
//                are taken (0 = right after the window opened). The last
//                press is always sampled.
// --texts        print both boxes' final text, hex encoded.
//
// Output, one record per line:
//   window <pid>
//   test <n> <microseconds>
//   fix <n> <total us> <us until the reboot box was up> <us until OK was
//       pressed> <us until the box was gone>
//   objects <after-press> <gdi> <user> <source> [<gdi type>:<count>,...]
//   text <channel> <bytes> <hex>
//   error <what>
// Exit code 0 when every press went through, 1 otherwise, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kTestId = 100;
constexpr int kFixId = 101;
constexpr DWORD kSendTimeoutMs = 60000;

struct Target {
  DWORD pid = 0;
  HANDLE process = nullptr;
  HANDLE thread = nullptr;  // the program's main (window) thread
  HWND main = nullptr;
  HWND test = nullptr;
  HWND fix = nullptr;
  HWND box[2] = {nullptr, nullptr};
};

int g_errors = 0;

void Error(const char* what) {
  std::printf("error %s\n", what);
  std::fflush(stdout);
  ++g_errors;
}

std::string ClassOf(HWND w) {
  char buf[64];
  const int n = GetClassNameA(w, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

// WM_GETTEXT, which the system marshals across processes (GetWindowText
// does not ask another process's controls).
std::string Text(HWND w) {
  DWORD_PTR len = 0, got = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len)) {
    return std::string();
  }
  std::string s(static_cast<size_t>(len) + 1, '\0');
  if (!SendMessageTimeoutA(w, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &got)) {
    return std::string();
  }
  s.resize(static_cast<size_t>(got) < s.size() ? static_cast<size_t>(got) : s.size() - 1);
  return s;
}

struct FindMain {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMainProc(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<FindMain*>(lp);
  if (PidOf(w) == f->pid && ClassOf(w) == "KestradForm1") {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

struct FindBox {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<FindBox*>(lp);
  if (PidOf(w) == f->pid && ClassOf(w) == "#32770" && IsWindowVisible(w)) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectEdits(HWND w, LPARAM lp) {
  if (ClassOf(w) == "Edit") reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
  return TRUE;
}

// ---- object counts --------------------------------------------------------

// Wine's GetGuiResources is a stub that answers 0. There the counts come
// from what Wine keeps itself: the GDI handle table it publishes in each
// process's PEB (GdiSharedHandleTable, an array of 24-byte entries), and
// the windows of the process for the USER side.
struct WineGdiEntry {
  ULONGLONG object;
  ULONG owner;
  USHORT unique;  // low 7 bits: extended type; bit 7: stock object
  UCHAR type;
  UCHAR flags;
  ULONGLONG user_pointer;
};
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI_HANDLE_ENTRY is 24 bytes");
constexpr size_t kWineGdiHandles = 0x10000;

struct BasicInfo {
  LONG_PTR exit_status;
  void* peb;
  ULONG_PTR affinity;
  LONG_PTR priority;
  ULONG_PTR pid;
  ULONG_PTR parent;
};
using QueryProcess = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// The offset of GdiSharedHandleTable in the PEB of this build's bitness.
#ifdef _WIN64
constexpr size_t kPebGdiTable = 0xF8;
#else
constexpr size_t kPebGdiTable = 0x94;
#endif

template <class T>
bool Read(HANDLE process, ULONGLONG address, T* value) {
  SIZE_T got = 0;
  return address && ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<ULONG_PTR>(address)),
                                      value, sizeof *value, &got) && got == sizeof *value;
}

// A 32-bit program on a 64-bit Wine prefix has the table only in its 64-bit
// PEB, which Wine keeps below 4 GiB: the 32-bit TEB's GdiBatchCount field
// (offset 0xF70) holds the 64-bit TEB, whose Peb field (0x60) leads to it.
ULONGLONG WowGdiTable(HANDLE process, HANDLE thread) {
#ifdef _WIN64
  (void)process;
  (void)thread;
  return 0;
#else
  struct ThreadInfo {
    LONG exit_status;
    void* teb;
    void* client_id[2];
    ULONG_PTR affinity;
    LONG priority, base_priority;
  } info{};
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  if (!query || query(thread, 0, &info, sizeof info, nullptr) != 0) return 0;
  DWORD teb64 = 0;
  ULONGLONG peb64 = 0, table = 0;
  if (!Read(process, reinterpret_cast<ULONG_PTR>(info.teb) + 0xF70, &teb64) ||
      !Read(process, teb64 + 0x60ULL, &peb64) || !Read(process, peb64 + 0xF8, &table)) {
    return 0;
  }
  return table;
#endif
}

// Negative when the table cannot be read: -1 no NtQueryInformationProcess,
// -2 no PEB address, -3 no table address in the PEB, -4 table unreadable.
long WineGdiCount(HANDLE process, HANDLE thread, std::string* by_type) {
  auto query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  if (!query) return -1;
  BasicInfo info{};
  if (query(process, 0, &info, sizeof info, nullptr) != 0 || !info.peb) return -2;
  ULONG_PTR pointer = 0;
  ULONGLONG table = 0;
  if (Read(process, reinterpret_cast<ULONG_PTR>(info.peb) + kPebGdiTable, &pointer)) table = pointer;
  if (!table) table = WowGdiTable(process, thread);
  if (!table || table > static_cast<ULONG_PTR>(-1)) return -3;
  SIZE_T got = 0;
  static std::vector<WineGdiEntry> entries(kWineGdiHandles);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<ULONG_PTR>(table)), entries.data(), entries.size() * sizeof(WineGdiEntry),
                         &got)) {
    return -4;
  }
  long count = 0;
  long per_type[128] = {};
  for (const WineGdiEntry& e : entries) {
    if (e.type != 0 && !(e.unique & 0x80)) {
      ++count;
      ++per_type[e.unique & 0x7F];
    }
  }
  // Which kinds they are, to tell a leaking font or brush from a growing
  // cache of device contexts.
  for (int type = 0; type < 128; ++type) {
    if (per_type[type]) {
      *by_type += (by_type->empty() ? "" : ",") + std::to_string(type) + ":" +
                  std::to_string(per_type[type]);
    }
  }
  return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM lp) {
  ++*reinterpret_cast<long*>(lp);
  return TRUE;
}

struct CountTop {
  DWORD pid;
  long count;
};

BOOL CALLBACK CountTopProc(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<CountTop*>(lp);
  if (PidOf(w) != c->pid) return TRUE;
  ++c->count;
  EnumChildWindows(w, CountChild, reinterpret_cast<LPARAM>(&c->count));
  return TRUE;
}

void ReportObjects(const Target& t, int after) {
  DWORD gdi = GetGuiResources(t.process, GR_GDIOBJECTS);
  DWORD user = GetGuiResources(t.process, GR_USEROBJECTS);
  if (gdi != 0 || user != 0) {
    std::printf("objects %d %lu %lu GetGuiResources\n", after, gdi, user);
  } else {
    CountTop top{t.pid, 0};
    EnumWindows(CountTopProc, reinterpret_cast<LPARAM>(&top));
    std::string by_type;
    const long gdi_count = WineGdiCount(t.process, t.thread, &by_type);
    std::printf("objects %d %ld %ld wine-tables %s\n", after, gdi_count, top.count,
                by_type.c_str());
  }
  std::fflush(stdout);
}

// ---- presses --------------------------------------------------------------

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// Returns once the program has handled everything sent before: a sent
// message is taken only by the program's own message retrieval, which the
// handlers do not call (except inside a modal box).
bool Settle(const Target& t) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(t.main, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) != 0;
}

bool PressTest(const Target& t, int n) {
  LARGE_INTEGER from, to;
  DWORD_PTR ignored = 0;
  QueryPerformanceCounter(&from);
  const bool sent =
      SendMessageTimeoutA(t.test, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) != 0;
  QueryPerformanceCounter(&to);
  if (!sent) {
    Error("test-press-timed-out");
    return false;
  }
  std::printf("test %d %.1f\n", n, Microseconds(from, to));
  return true;
}

// Fix ends in a modal message box, so the click is posted and the box
// answered: OK is pressed once the box is up, and the press is over when the
// box is gone and the program is back in its own message loop.
bool PressFix(const Target& t, int n) {
  if (!IsWindowEnabled(t.fix)) {
    Error("fix-disabled");
    return false;
  }
  LARGE_INTEGER from, to;
  QueryPerformanceCounter(&from);
  if (!PostMessageA(t.fix, BM_CLICK, 0, 0)) {
    Error("fix-post-failed");
    return false;
  }
  FindBox box{t.pid, nullptr};
  const DWORD deadline = GetTickCount() + kSendTimeoutMs;
  while (!box.found && GetTickCount() < deadline) {
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&box));
    if (!box.found) Sleep(1);
  }
  if (!box.found) {
    Error("fix-no-reboot-box");
    return false;
  }
  LARGE_INTEGER shown;
  QueryPerformanceCounter(&shown);
  char title[64] = "";
  GetWindowTextA(box.found, title, sizeof title);
  if (std::strcmp(title, "Reboot required") != 0) Error("fix-unexpected-box");
  HWND ok = GetDlgItem(box.found, IDOK);
  DWORD_PTR ignored = 0;
  if (ok) {
    SendMessageTimeoutA(ok, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
  } else {
    SendMessageTimeoutA(box.found, WM_COMMAND, IDOK, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
  }
  LARGE_INTEGER answered, gone;
  QueryPerformanceCounter(&answered);
  while (IsWindow(box.found) && GetTickCount() < deadline) Sleep(1);
  QueryPerformanceCounter(&gone);
  if (IsWindow(box.found) || !Settle(t)) {
    Error("fix-box-stays");
    return false;
  }
  QueryPerformanceCounter(&to);
  std::printf("fix %d %.1f %.1f %.1f %.1f\n", n, Microseconds(from, to), Microseconds(from, shown),
              Microseconds(from, answered), Microseconds(from, gone));
  return true;
}

bool Open(const char* exe, Target* t) {
  std::string dir(exe);
  const size_t slash = dir.find_last_of("\\/");
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  std::string command = std::string("\"") + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                      &pi)) {
    Error("cannot-start");
    return false;
  }
  t->thread = pi.hThread;
  t->pid = pi.dwProcessId;
  t->process = pi.hProcess;
  WaitForInputIdle(t->process, 20000);
  const DWORD deadline = GetTickCount() + 30000;
  FindMain find{t->pid, nullptr};
  while (GetTickCount() < deadline) {
    find.found = nullptr;
    EnumWindows(FindMainProc, reinterpret_cast<LPARAM>(&find));
    if (find.found && IsWindowVisible(find.found)) break;
    Sleep(20);
  }
  if (!find.found) {
    Error("no-window");
    return false;
  }
  t->main = find.found;
  t->test = GetDlgItem(t->main, kTestId);
  t->fix = GetDlgItem(t->main, kFixId);
  if (!t->test || !t->fix) {
    Error("no-buttons");
    return false;
  }
  // The load handler ends with the driver identification in both boxes;
  // which box is which follows from its channel line.
  while (GetTickCount() < deadline) {
    std::vector<HWND> edits;
    EnumChildWindows(t->main, CollectEdits, reinterpret_cast<LPARAM>(&edits));
    t->box[0] = t->box[1] = nullptr;
    for (HWND e : edits) {
      const std::string text = Text(e);
      if (text.find("IDE 0: ATAPI Driver: ") != std::string::npos) t->box[0] = e;
      if (text.find("IDE 1: ATAPI Driver: ") != std::string::npos) t->box[1] = e;
    }
    if (t->box[0] && t->box[1] && t->box[0] != t->box[1]) break;
    Sleep(20);
  }
  if (!t->box[0] || !t->box[1] || !Settle(*t)) {
    Error("no-text-boxes");
    return false;
  }
  std::printf("window %lu\n", t->pid);
  std::fflush(stdout);
  return true;
}

void Close(Target& t) {
  if (!t.process) return;
  if (t.main && IsWindow(t.main)) PostMessageA(t.main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(t.process, 10000) != WAIT_OBJECT_0) {
    Error("did-not-close");
    TerminateProcess(t.process, 1);
    WaitForSingleObject(t.process, 5000);
  }
  CloseHandle(t.process);
  CloseHandle(t.thread);
  t.process = t.thread = nullptr;
}

void PrintHex(int channel, const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  std::printf("text %d %zu %s\n", channel, text.size(), hex.c_str());
}

int Usage() {
  std::fprintf(stderr,
               "usage: loaddriver KESTRAD_EXE [--tests N] [--fix-every K] [--sample LIST] [--texts]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* exe = argv[1];
  int tests = 1000;
  int fix_every = 0;
  bool texts = false;
  std::set<int> samples;
  for (int i = 2; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--tests") == 0 && has_value) {
      tests = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--fix-every") == 0 && has_value) {
      fix_every = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--sample") == 0 && has_value) {
      for (char* p = std::strtok(argv[++i], ","); p; p = std::strtok(nullptr, ",")) {
        samples.insert(std::atoi(p));
      }
    } else if (std::strcmp(argv[i], "--texts") == 0) {
      texts = true;
    } else {
      return Usage();
    }
  }
  if (tests < 0 || fix_every < 0) return Usage();
  samples.insert(tests);

  Target t;
  if (!Open(exe, &t)) {
    Close(t);
    return 1;
  }
  if (samples.count(0)) ReportObjects(t, 0);
  int fixes = 0;
  for (int n = 1; n <= tests; ++n) {
    if (!PressTest(t, n)) break;
    if (fix_every && n % fix_every == 0 && !PressFix(t, ++fixes)) break;
    if (samples.count(n)) {
      Settle(t);
      ReportObjects(t, n);
    }
  }
  if (texts) {
    for (int ch = 0; ch < 2; ++ch) PrintHex(ch, Text(t.box[ch]));
  }
  std::fflush(stdout);
  Close(t);
  std::fflush(stdout);
  return g_errors ? 1 : 0;
}
