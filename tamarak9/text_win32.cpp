#include "tamarak9/text_win32.h"

#include <windows.h>

#include <climits>
#include <new>

namespace tamarak9 {

std::wstring AnsiToWide(const char* text, std::size_t length) {
  if (length == 0) return {};
  if (length > INT_MAX) throw std::bad_alloc();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &wide[0], n);
  return wide;
}

std::string WideToAnsi(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  if (length > INT_MAX) throw std::bad_alloc();
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &ansi[0], n, nullptr, nullptr);
  return ansi;
}

}  // namespace tamarak9
