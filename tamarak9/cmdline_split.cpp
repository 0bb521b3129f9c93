#include "tamarak9/cmdline_split.h"

#include "tamarak9/cmdline_split_core.h"

namespace tamarak9 {

namespace {

struct Items {
  std::vector<std::string> list;
  std::string item;

  void Put(char c) { item += c; }
  void EndItem() {
    list.push_back(item);
    item.clear();
  }
};

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text) {
  Items items;
  StreamArguments(text.data(), text.size(), items);
  return items.list;
}

}  // namespace tamarak9
