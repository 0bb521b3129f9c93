#include "tamarak9/text_win32.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace tamarak9 {

bool AnsiToWide(const char* text, HeapBuffer<wchar_t>& wide, std::size_t* length) {
  // With its NUL, which converts to the wide NUL.
  const std::size_t bytes = std::strlen(text) + 1;
  if (bytes > INT_MAX) return false;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0 || !wide.Allocate(static_cast<std::size_t>(n)) ||
      MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), wide.get(), n) != n) {
    return false;
  }
  *length = static_cast<std::size_t>(n) - 1;
  return true;
}

std::size_t WideToAnsi(const wchar_t* text, std::size_t length, char* ansi, std::size_t size) {
  // WideCharToMultiByte takes no empty text; callers pass a NUL at least.
  if (length == 0 || length > INT_MAX) return 0;
  const int wide_length = static_cast<int>(length);
  const int n = WideCharToMultiByte(CP_ACP, 0, text, wide_length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return 0;
  if (ansi != nullptr && size >= static_cast<std::size_t>(n)) {
    WideCharToMultiByte(CP_ACP, 0, text, wide_length, ansi, n, nullptr, nullptr);
  }
  return static_cast<std::size_t>(n);
}

}  // namespace tamarak9
