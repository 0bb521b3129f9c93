// The argument splitter with its items as strings, for the platform-neutral
// code, its tests and the fuzz target. The splitting itself, and the rules it
// follows, are in cmdline_split_core.h, which the support library streams
// with: whatever these tests prove, they prove of the library's code.
#pragma once

#include <string>
#include <vector>

#include "tamarak9/cmdline_split_core.h"

namespace tamarak9 {

template <typename Char>
std::vector<std::basic_string<Char>> SplitArgumentsOf(const std::basic_string<Char>& text) {
  struct Items {
    std::vector<std::basic_string<Char>> list;
    std::basic_string<Char> item;
    void Put(Char c) { item += c; }
    void EndItem() {
      list.push_back(item);
      item.clear();
    }
  } items;
  StreamArguments(text.data(), text.size(), items);
  return items.list;
}

std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace tamarak9
