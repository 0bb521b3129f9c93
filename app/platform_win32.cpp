#include "app/platform_win32.h"

#include <windows.h>

#include <vector>

#include "app/command_line.h"
#include "app/event_log_win32.h"
#include "win32/error_text.h"
#include "win32/system_library.h"
#include "win32/unique_handle.h"

namespace kestrad {

// The box styles are the system's icons.
static_assert(static_cast<UINT>(BoxStyle::Critical) == MB_ICONHAND);
static_assert(static_cast<UINT>(BoxStyle::Exclamation) == MB_ICONEXCLAMATION);
static_assert(static_cast<UINT>(BoxStyle::Information) == MB_ICONINFORMATION);

std::string Win32Platform::ArgumentText() { return kestrad::ArgumentText(GetCommandLineA()); }

std::vector<std::string> Win32Platform::PastedDashes() {
  std::vector<std::string> dashes;
  for (const wchar_t dash : {L'\u2013', L'\u2014'}) {
    char bytes[8] = {};
    BOOL lacking = FALSE;
    // A code page without the dash would give its default character, or a
    // plain "-" as the closest one: neither is the pasted dash. UTF-8 has
    // every character, and takes neither the flag nor the question.
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, &dash, 1, bytes,
                                      sizeof bytes, nullptr, utf8 ? nullptr : &lacking);
    if (n > 0 && !lacking) dashes.emplace_back(bytes, static_cast<std::size_t>(n));
  }
  return dashes;
}

std::string Win32Platform::ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

void Win32Platform::ShowMessageBox(const std::string& prompt, const std::string& title,
                                   BoxStyle style) {
  // The boot-time boxes have no owner window; MB_SETFOREGROUND keeps them
  // from opening behind whatever the user started at log-on.
  RequireSystemLibrary(L"user32.dll");
  MessageBoxA(nullptr, prompt.c_str(), title.c_str(),
              MB_OK | static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Platform::EndProgram(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

namespace {

// The largest list file read: some hundred thousand machines' names.
constexpr DWORD kLargestFile = 16u << 20;

// What the workers of SideBySide share: the next job to take, and the jobs
// that ended, handed to the calling thread in the order they end.
struct Pool {
  const std::function<void(std::size_t)>* job;
  std::size_t count;
  volatile LONG taken = -1;        // the last job index taken, interlocked
  CRITICAL_SECTION lock;           // guards `ended`
  std::vector<std::size_t> ended;  // in the order they ended
  std::size_t handed = 0;          // how many of them done() has had
  UniqueKernelObject signal;       // a semaphore: one count per ended job
};

DWORD WINAPI Worker(void* argument) {
  Pool& pool = *static_cast<Pool*>(argument);
  for (;;) {
    const auto i = static_cast<std::size_t>(InterlockedIncrement(&pool.taken));
    if (i >= pool.count) return 0;
    (*pool.job)(i);
    EnterCriticalSection(&pool.lock);
    pool.ended.push_back(i);
    LeaveCriticalSection(&pool.lock);
    ReleaseSemaphore(pool.signal.get(), 1, nullptr);
  }
}

}  // namespace

std::string Win32Platform::ReadFile(const std::string& path) {
  const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw SystemError(GetLastError());
  DWORD high = 0;
  const DWORD size = GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) throw SystemError(GetLastError());
  if (high != 0 || size > kLargestFile) throw SystemError(ERROR_FILE_TOO_LARGE);
  std::string text(size, '\0');
  DWORD read = 0;
  if (size > 0 && !::ReadFile(file.get(), &text[0], size, &read, nullptr)) {
    throw SystemError(GetLastError());
  }
  text.resize(read);
  return text;
}

std::unique_ptr<EventLog> Win32Platform::NewEventLog() { return std::make_unique<Win32EventLog>(); }

void Win32Platform::SideBySide(std::size_t count, std::size_t width,
                               const std::function<void(std::size_t)>& job,
                               const std::function<void(std::size_t)>& done) {
  Pool pool;
  pool.job = &job;
  pool.count = count;
  // Room for every index up front: a worker never allocates under the lock.
  pool.ended.reserve(count);
  pool.signal.reset(CreateSemaphoreW(nullptr, 0, static_cast<LONG>(count), nullptr));
  InitializeCriticalSection(&pool.lock);
  std::vector<UniqueKernelObject> workers;
  if (pool.signal) {
    for (std::size_t n = 0; n < width && n < count; ++n) {
      UniqueKernelObject worker(CreateThread(nullptr, 0, &Worker, &pool, 0, nullptr));
      if (!worker) break;
      workers.push_back(std::move(worker));
    }
  }
  if (workers.empty()) {
    // No thread could be had: the jobs one after the other, here.
    for (std::size_t i = 0; i < count; ++i) job(i), done(i);
  } else {
    for (std::size_t n = 0; n < count; ++n) {
      WaitForSingleObject(pool.signal.get(), INFINITE);
      EnterCriticalSection(&pool.lock);
      const std::size_t i = pool.ended[pool.handed++];
      LeaveCriticalSection(&pool.lock);
      done(i);
    }
    for (const UniqueKernelObject& worker : workers) WaitForSingleObject(worker.get(), INFINITE);
  }
  DeleteCriticalSection(&pool.lock);
}

void SetErrorModeOfRun(bool unattended) {
  // Every flag is known to Windows 2000; the mode inherited from the parent
  // is kept.
  const UINT mode =
      SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | (unattended ? SEM_NOGPFAULTERRORBOX : 0u);
  SetErrorMode(SetErrorMode(0) | mode);
}

}  // namespace kestrad
