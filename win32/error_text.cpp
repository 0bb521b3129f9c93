#include "win32/error_text.h"

#include <windows.h>

namespace kestrad {

std::string ErrorText(unsigned long code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) {
    --n;
  }
  return n > 0 ? std::string(text, n) : "System error " + std::to_string(code);
}

RunError SystemError(unsigned long code) {
  return RunError(static_cast<long>(code), ErrorText(code));
}

}  // namespace kestrad
