// GetArgs compared with the system's own CommandLineToArgvW.
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

using namespace std::string_literals;
using Items = std::vector<std::string>;

std::string Ansi(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], n, nullptr, nullptr);
  return ansi;
}

// The arguments the system finds after a program name; `text` is the whole
// command line when `after_name` is false.
Items SystemSplit(const std::string& text, bool after_name = true) {
  const std::string line = after_name ? "x.exe " + text : text;
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

TEST_F(GetArgsTest, HostileTextsSplitLikeTheSystem) {
  const char* const texts[] = {
      "",
      "   \t ",
      " a ",
      "a \t b",
      "\"\" \"\"",
      "\"",
      "a\"",
      "\"a b\" c",
      "\"a\"\"b c\"",
      "\"\"\"",
      "\"\"\"\"\"\"",
      "\"\"\" a\"",
      "a\"\"\" b",
      "x\"a b\"y",
      "a\\",
      "a\\\\b",
      "\\\"",
      "\\\\\\\"",
      "a\\\\\\\"b c\"",
      "\"a\\\\\" b\"",
      "\\\"\"\"a b",
      "\"\t\"",
      "\"C:\\Program Files\\\\\" x",
      "/s \"C:\\a b\\\" /x",
      "a\nb",
      "\xe4\\\"\xa0 \xff",
  };
  for (const char* text : texts) {
    EXPECT_EQ(Split(text), SystemSplit(text)) << "text [" << text << "]";
  }
}

// The program's own name ends where the system ends it: a quoted name at its
// closing quote, whatever follows.
TEST_F(GetArgsTest, ArgumentsStartWhereTheSystemEndsTheProgramName) {
  const char* const lines[] = {
      "\"C:\\Program Files\\Kestrad\\kestrad.exe\"/CHECK",
      "kestrad.exe /CHECK /LOG",
      "\"C:\\a b\\k.exe\"  \"x y\" /h",
      "k.exe\t-h",
      "\"C:\\a b\\k.exe\"",
      "\"unterminated /H",
      "\"a\"\"b\" /h",
      "x\"a b\".exe /h",
      "k.exe",
      "\"C:\\k.exe\"\"\"/h",
      "\"k.exe\"\t\t/log",
  };
  for (const char* line : lines) {
    const Items system = SystemSplit(line, false);
    EXPECT_EQ(Split(kestrad::ArgumentText(line)), system) << "command line [" << line << "]";
  }
}

TEST_F(GetArgsTest, RandomTextsSplitLikeTheSystem) {
  const char alphabet[] = {'a', ' ', '\t', '"', '\\'};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 14);
  std::uniform_int_distribution<int> pick(0, sizeof(alphabet) - 1);
  int failures = 0;
  for (int i = 0; i < 4000 && failures < 10; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += alphabet[pick(random)];
    const Items ours = Split(text);
    const Items system = SystemSplit(text);
    if (ours != system) ++failures;
    EXPECT_EQ(ours, system) << "text [" << text << "]";
  }
}

TEST_F(GetArgsTest, SmallBufferIsLeftAloneAndNeedReported) {
  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  uint32_t needed = 0;
  EXPECT_EQ(get_args_("ab \"c d\"", buffer, 6, &needed), 2);
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(std::string(buffer, 8), "########");
  EXPECT_EQ(get_args_("ab \"c d\"", buffer, 7, &needed), 2);
  EXPECT_EQ(std::string(buffer, 8), "ab\0c d\0#"s);
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
