// Splits an argument text the way CommandLineToArgvW splits the arguments
// that follow the program name. Platform-neutral, header-only, and free of
// allocation: the characters of each item go to a sink as they are found, so
// the support library streams them into a buffer of its own while the
// program, its tests and the fuzz target collect strings
// (kestrad::SplitArguments in app/command_line.h), through this same code.
//
// The rules, as the system applies them:
// - items are separated by runs of spaces and tabs outside quotes; leading
//   and trailing blanks make no item, so a blank text has no items;
// - a quote toggles quoting and is dropped; `""` alone is one empty item;
// - 2n backslashes before a quote give n backslashes and the quote toggles;
//   2n+1 give n backslashes and a literal quote; backslashes anywhere else
//   are literal;
// - inside quotes, a run of quotes counts together with the opening one:
//   every third gives a literal quote, and the run ends quoting unless it
//   leaves exactly the opening quote pending (so `"a""b"` gives a"b with
//   quoting ended after the second quote, the form older programs rely on).
#pragma once

#include <cstddef>

namespace tamarak9 {

// A run of quotes at text[*i] (the first of them preceded by an even run of
// backslashes): counts them with `*quotes` as the system does, puts the
// literal quotes they give, and leaves *i past the run.
template <typename Char, typename Sink>
void StreamQuoteRun(const Char* text, std::size_t length, std::size_t* i, int* quotes, Sink& sink) {
  const Char kQuote = Char('"');
  ++*quotes;
  for (++*i; *i < length && text[*i] == kQuote; ++*i) {
    if (++*quotes == 3) {
      sink.Put(kQuote);
      *quotes = 0;
    }
  }
  if (*quotes == 2) *quotes = 0;
}

// Streams the items of `text` (`length` characters; a NUL is a character
// like any other) into `sink`: sink.Put(c) for each character of an item,
// then sink.EndItem(). No item is longer than the text, and each takes at
// least one of its characters.
//
// For any character type: the library splits the wide form of the ANSI text
// (a DBCS trail byte may equal a backslash), the tests split bytes.
template <typename Char, typename Sink>
void StreamArguments(const Char* text, std::size_t length, Sink& sink) {
  const Char kQuote = Char('"');
  const Char kBackslash = Char('\\');
  const auto is_blank = [](Char c) { return c == Char(' ') || c == Char('\t'); };
  // A run of backslashes is counted, not passed on: how many it gives
  // depends on the character after it.
  std::size_t backslashes = 0;
  const auto put_backslashes = [&](std::size_t count) {
    for (; count > 0; --count) sink.Put(kBackslash);
  };

  std::size_t i = 0;
  while (i < length && is_blank(text[i])) ++i;
  if (i == length) return;

  // quotes: 1 while inside quotes. A run of quotes may briefly count to 2
  // (closes) or 3 (a literal quote, back to unquoted), as the system does.
  int quotes = 0;
  while (i < length) {
    const Char c = text[i];
    if (is_blank(c) && quotes == 0) {
      put_backslashes(backslashes);
      backslashes = 0;
      sink.EndItem();
      while (i < length && is_blank(text[i])) ++i;
      if (i == length) return;
    } else if (c == kBackslash) {
      ++backslashes;
      ++i;
    } else if (c == kQuote && backslashes % 2 == 1) {
      // 2n+1 backslashes: n of them and a literal quote.
      put_backslashes(backslashes / 2);
      backslashes = 0;
      sink.Put(kQuote);
      ++i;
    } else if (c == kQuote) {
      put_backslashes(backslashes / 2);
      backslashes = 0;
      StreamQuoteRun(text, length, &i, &quotes, sink);
    } else {
      put_backslashes(backslashes);
      backslashes = 0;
      sink.Put(c);
      ++i;
    }
  }
  put_backslashes(backslashes);
  sink.EndItem();
}

}  // namespace tamarak9
