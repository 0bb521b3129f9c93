// ANSI <-> wide conversions in the system's ANSI code page.
#pragma once

#include <string>

namespace tamarak9 {

// Both stop at nothing: embedded NULs are converted like any character.
std::wstring AnsiToWide(const char* text, std::size_t length);
std::string WideToAnsi(const wchar_t* text, std::size_t length);

inline std::wstring AnsiToWide(const std::string& text) {
  return AnsiToWide(text.data(), text.size());
}
inline std::string WideToAnsi(const std::wstring& text) {
  return WideToAnsi(text.data(), text.size());
}

}  // namespace tamarak9
