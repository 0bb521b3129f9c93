// urlrecorder: stands in for the web browser in the end-to-end tests. It is
// registered as the open command for http addresses and appends each address
// it is started with, one per line, to a log file, so a test can see which
// address the program handed to the shell without any browser.
//
//   urlrecorder <address>...
//
// The log is the file named by KESTRAD_URL_LOG, or urls.txt beside this
// program. Exit codes: 0 recorded, 1 the log could not be written.

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t path[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableW(L"KESTRAD_URL_LOG", path, MAX_PATH * 2)) {
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, n);
    std::wstring log = self.substr(0, self.find_last_of(L"\\/") + 1) + L"urls.txt";
    lstrcpynW(path, log.c_str(), MAX_PATH * 2);
  }
  FILE* out = _wfopen(path, L"ab");
  if (!out) return 1;
  for (int i = 1; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &text[0], size, nullptr, nullptr);
    std::fprintf(out, "%s\n", text.c_str());
  }
  std::fclose(out);
  return 0;
}
