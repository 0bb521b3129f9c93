// A list worked side by side on real threads gives what a loop of single
// "/S" runs gives, in the list's order; under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "app/machine_list.h"
#include "app/startup.h"
#include "fleet.h"

namespace kestrad::testing {
namespace {

struct Ran {
  int code;
  std::string out, err;
  std::vector<std::string> entries, written;
  std::map<std::string, int> connects;
};

void RandomWait(const std::string&) {
  thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 700));
}

Ran RunMain(const std::string& args, bool list) {
  Fleet fleet(list ? RandomWait : [](const std::string&) {});
  FakeLog log;
  FakeForm form(fleet, log);
  Threads platform(form, log);
  platform.args = args;
  const int code = static_cast<int>(Main(fleet, log, platform, form));
  Ran run{code, fleet.console, fleet.errors, {}, {}, fleet.connects};
  for (const FakeLog::Entry& e : log.entries) {
    run.entries.push_back(e.machine + " " + std::to_string(static_cast<unsigned>(e.id)) + e.text);
  }
  for (auto& [name, m] : fleet.machines) {
    for (const std::string& w : m.written) run.written.push_back(name + " " + w);
  }
  std::sort(run.entries.begin(), run.entries.end());
  EXPECT_FALSE(fleet.off_thread || !platform.boxes.empty());
  EXPECT_LE(platform.most.load(), static_cast<int>(kMachinesAtOnce));
  EXPECT_TRUE(!list || platform.most.load() > 1);
  return run;
}

TEST(ListTest, TwoHundredMachinesSideBySideGiveTheTableOfSingleRunsInTheListsOrder) {
  constexpr int kMachines = 200;
  std::string list = NameOf(0);
  for (int i = 1; i < kMachines; ++i) list += "," + NameOf(i);
  for (const std::string road : {"/REPORT", "/CHECK", "/FIX"}) {
    SCOPED_TRACE(road);
    const bool report = road == "/REPORT";
    // What a loop of single runs gives, machine after machine.
    Ran loop{};
    loop.out = report ? ReportHeader() + "\r\n" : "\"Computer\",\"Exit code\",\"Result\"\r\n";
    for (int i = 0; i < kMachines; ++i) {
      const Ran one = RunMain(road + (report ? " /NH" : "") + " /S " + NameOf(i), false);
      loop.code = std::max(loop.code, one.code);
      loop.out += report ? one.out : "\"" + NameOf(i) + "\",\"" + std::to_string(one.code) + "\",";
      loop.err += one.err.substr(0, one.err.find(kUsageHint));
      loop.entries.insert(loop.entries.end(), one.entries.begin(), one.entries.end());
      loop.written.insert(loop.written.end(), one.written.begin(), one.written.end());
    }
    std::sort(loop.entries.begin(), loop.entries.end());
    const Ran listed = RunMain(road + " /S " + list + ",lab-007", true);
    EXPECT_EQ(loop.code, listed.code);
    // The table without its result words: what a single run tells of them.
    const std::regex words(report ? "^$" : R"(,"(DMA|nothing|repair|cannot)[^\r]*\r\n)");
    EXPECT_EQ(loop.out, std::regex_replace(listed.out, words, ","));
    EXPECT_EQ(loop.err + kUsageHint + "\r\n", listed.err);
    EXPECT_EQ(loop.entries, listed.entries);
    EXPECT_EQ(loop.written, listed.written);
    EXPECT_EQ(static_cast<std::size_t>(kMachines), listed.connects.size());
    for (const auto& [name, n] : listed.connects) EXPECT_EQ(1, n) << name;
  }
}

}  // namespace
}  // namespace kestrad::testing
