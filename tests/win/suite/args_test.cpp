// GetArgs, and the argument text the program hands it, compared with the
// system's own CommandLineToArgvW.
#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types windows.h defines.
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "test_library.h"

namespace {

using Items = std::vector<std::string>;

std::string Ansi(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], n, nullptr, nullptr);
  return ansi;
}

// The arguments the system finds in a whole command line, after the
// program's name.
Items SystemSplit(const std::string& line) {
  std::wstring wide(line.size() + 1, L'\0');
  const int n =
      MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n - 1 : 0);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
  Items items;
  for (int i = 1; i < count; ++i) items.push_back(Ansi(argv[i]));
  LocalFree(argv);
  return items;
}

class GetArgsTest : public testing::Test {
 protected:
  GetArgsTest()
      : library_(kestrad_test::LibraryPath()), get_args_(library_.Get<T9GetArgsFn>("GetArgs")) {}

  Items Split(const std::string& text) {
    uint32_t needed = 0xFFFFFFFF;
    const int16_t count = get_args_(text.c_str(), nullptr, 0, &needed);
    std::vector<char> buffer(needed + 1, '#');
    uint32_t filled = 0;
    EXPECT_EQ(get_args_(text.c_str(), buffer.data(), needed, &filled), count);
    EXPECT_EQ(filled, needed);
    EXPECT_EQ(buffer[needed], '#') << "wrote past the size it asked for";
    Items items;
    for (std::size_t at = 0; at < needed; at += items.back().size() + 1) {
      items.emplace_back(buffer.data() + at);
    }
    EXPECT_EQ(items.size(), static_cast<std::size_t>(count));
    return items;
  }

  kestrad_test::Library library_;
  T9GetArgsFn get_args_;
};

// Each text is split as the arguments after a program's name, and as a whole
// command line whose program name (quoted or not) the program cuts off first.
TEST_F(GetArgsTest, TextsSplitLikeTheSystem) {
  // What the random texts cannot hold: a line feed and ANSI bytes are no blanks.
  std::vector<std::string> texts = {"a\nb", "\xe4\\\"\xa0 \xff"};
  const char alphabet[] = {'a', ' ', '\t', '"', '\\'};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 14);
  std::uniform_int_distribution<int> pick(0, sizeof(alphabet) - 1);
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += alphabet[pick(random)];
    texts.push_back(text);
  }
  int failures = 0;
  for (const std::string& text : texts) {
    const Items arguments = Split(text), system_arguments = SystemSplit("x.exe " + text);
    const Items line = Split(kestrad::ArgumentText(text)), system_line = SystemSplit(text);
    EXPECT_EQ(arguments, system_arguments) << "arguments [" << text << "]";
    EXPECT_EQ(line, system_line) << "command line [" << text << "]";
    failures += (arguments != system_arguments) + (line != system_line);
    if (failures >= 10) break;
  }
}

TEST_F(GetArgsTest, SmallBufferIsLeftAloneAndNeedReported) {
  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  uint32_t needed = 0;
  EXPECT_EQ(get_args_("ab \"c d\"", buffer, 6, &needed), 2);
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(std::string(buffer, 8), "########");
  EXPECT_EQ(get_args_("ab \"c d\"", buffer, 7, &needed), 2);
  EXPECT_EQ(std::string(buffer, 8), std::string("ab\0c d\0#", 8));
  needed = 99;
  EXPECT_EQ(get_args_(nullptr, buffer, 8, &needed), 0);
  EXPECT_EQ(needed, 0u);
}

// The count crosses as a 16-bit value: the largest it holds is given, one
// item more fails as a whole.
TEST_F(GetArgsTest, MoreItemsThanTheCountHoldsFail) {
  std::string text;
  for (int i = 0; i < 0x7FFF; ++i) text += "a ";
  uint32_t needed = 0;
  EXPECT_EQ(get_args_(text.c_str(), nullptr, 0, &needed), 0x7FFF);
  EXPECT_EQ(needed, 2u * 0x7FFF);
  text += "\"\"";
  EXPECT_EQ(get_args_(text.c_str(), nullptr, 0, &needed), -1);
  EXPECT_EQ(needed, 0u);
}

}  // namespace
