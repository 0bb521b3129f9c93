// "/S" and the item after it: a machine's name, or the invalid argument the
// refused run names.
#include <gtest/gtest.h>

#include "app/switches.h"

namespace kestrad {
namespace {

TEST(Switches, MachineNameOrTheItemThatIsNone) {
  const std::string longest(kMachineNameMax, 'n');
  const struct {
    std::string text, machine, stray;  // stray: "-" for none, then `machine`
  } cases[] = {
      {"/REPORT /S lab-07", "lab-07", "-"},
      {"-s \\\\10.0.0.7 /FIX", "10.0.0.7", "-"},
      {"/S " + longest, longest, "-"},
      {"/S " + longest + "n", "", longest + "n"},
      {"/FIX /S", "", "/S"},
      {"/S /REPORT", "", "/S"},
      {"/S \"lab pc\" /X", "", "lab pc"},
      {"/S \\\\a\\b", "", "\\\\a\\b"},
      {"/S \\\\", "", "\\\\"},
      {"/S a\x01b", "", "a\x01b"},
      {"/S \"\"", "", ""},
      {"/S a /s b", "", "/s"},
  };
  for (const auto& c : cases) {
    const Switches s = SwitchesOfText(c.text);
    EXPECT_TRUE(s.remote && s.Unattended()) << c.text;
    EXPECT_EQ(c.stray, s.stray ? s.stray_item : "-") << c.text;
    if (!s.stray) {
      EXPECT_EQ(c.machine, s.machine) << c.text;
    }
  }
  EXPECT_FALSE(SwitchesOfText("/REPORT lab-07").remote);
}

}  // namespace
}  // namespace kestrad
