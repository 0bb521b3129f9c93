// The argument splitter against cases worked out by hand from the system's
// rules; the Windows-side suite compares it with CommandLineToArgvW itself.
#include "tamarak9/cmdline_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

struct Case {
  const char* text;
  Items expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << '[' << c.text << ']'; }

class SplitArgumentsTest : public testing::TestWithParam<Case> {};

TEST_P(SplitArgumentsTest, SplitsLikeCommandLineToArgvW) {
  EXPECT_EQ(tamarak9::SplitArguments(GetParam().text), GetParam().expected);
}

const Case kBlanks[] = {
    {"", {}},
    {"   ", {}},
    {" \t \t", {}},
    {"a", {"a"}},
    {"  a  ", {"a"}},
    {"a b\tc", {"a", "b", "c"}},
    {"a \t  b", {"a", "b"}},
    {"\ta\t", {"a"}},
    // Only space and tab separate; other control characters are text.
    {"a\nb\rc\vd", {"a\nb\rc\vd"}},
};
INSTANTIATE_TEST_SUITE_P(Blanks, SplitArgumentsTest, testing::ValuesIn(kBlanks));

const Case kQuotes[] = {
    {"\"\"", {""}},
    {"\"\" \"\"", {"", ""}},
    {"a \"\" b", {"a", "", "b"}},
    {"\"a b\"", {"a b"}},
    {"x\"a b\"y z", {"xa by", "z"}},
    {"\"a\tb\"", {"a\tb"}},
    // An unbalanced quote runs to the end of the text, blanks included.
    {"\"a b ", {"a b "}},
    {"\"", {""}},
    {"a\"", {"a"}},
    // A quote run inside quotes: every third is literal, the run ends quoting.
    {"\"a\"\"b\"", {"a\"b"}},
    {"\"a\"\"b c\"", {"a\"b", "c"}},
    {"\"\"\"", {"\""}},
    {"\"\"\"\"", {"\""}},
    {"\"\"\"\"\"", {"\""}},
    {"\"\"\"\"\"\"", {"\"\""}},
    {"\"\"\" a\"", {"\"", "a"}},
    {"\"\"\"\" a\"", {"\" a"}},
    {"a\"\"b", {"ab"}},
    {"a\"\"\"b", {"a\"b"}},
    {"a\"\"\" b", {"a\"", "b"}},
};
INSTANTIATE_TEST_SUITE_P(Quotes, SplitArgumentsTest, testing::ValuesIn(kQuotes));

const Case kBackslashes[] = {
    {"a\\b", {"a\\b"}},
    {"a\\\\b", {"a\\\\b"}},
    {"a\\", {"a\\"}},
    {"a\\\\ b\\\\\\", {"a\\\\", "b\\\\\\"}},
    {"\\\"", {"\""}},
    {"\\\\\"", {"\\"}},
    {"\\\\\\\"", {"\\\""}},
    {"\\\\\\\\\"", {"\\\\"}},
    {"a\\\\\"b c\"", {"a\\b c"}},
    {"a\\\\\\\"b c\"", {"a\\\"b", "c"}},
    {"\"a\\\" b\"", {"a\" b"}},
    {"\"a\\\\\" b\"", {"a\\", "b"}},
    // Backslashes before a blank are literal, and the count starts afresh.
    {"\\\\ \\\"", {"\\\\", "\""}},
    // An escaped quote is still the first of a quote run.
    {"\\\"\"a b\"", {"\"a b"}},
    {"\\\"\"\"a b", {"\"a", "b"}},
};
INSTANTIATE_TEST_SUITE_P(Backslashes, SplitArgumentsTest, testing::ValuesIn(kBackslashes));

TEST(SplitArgumentsOfTest, WideTextSplitsLikeBytes) {
  const std::u16string text = u"  \"a b\"\\\\\\\" c\\ \"\"\"";
  const std::vector<std::u16string> expected = {u"a b\\\"", u"c\\", u"\""};
  EXPECT_EQ(tamarak9::SplitArgumentsOf(text), expected);
}

TEST(SplitArgumentsOfTest, BytesAboveAsciiAreText) {
  EXPECT_EQ(tamarak9::SplitArguments("\xe4\x5c\"\xa0 \xff"), (Items{"\xe4\"\xa0", "\xff"}));
}

}  // namespace
