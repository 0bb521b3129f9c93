// ANSI <-> wide conversions in the system's ANSI code page, into a heap
// buffer or the caller's buffer.
#pragma once

#include <cstddef>

#include "tamarak9/heap_buffer_win32.h"

namespace tamarak9 {

// The NUL-terminated `text` as NUL-terminated wide text in `wide`, with
// `*length` set to its units before the NUL. False when there is no memory
// or the text is too long to convert.
bool AnsiToWide(const char* text, HeapBuffer<wchar_t>& wide, std::size_t* length);

// The ANSI form of `length` wide units, embedded NULs included (each
// converts to one NUL byte): returns the bytes it needs, or 0 when it cannot
// be converted (an empty text neither), and writes them to `ansi` only when
// `size` is at least that.
std::size_t WideToAnsi(const wchar_t* text, std::size_t length, char* ansi, std::size_t size);

}  // namespace tamarak9
