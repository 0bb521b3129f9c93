// A list of 200 machines worked side by side on real threads, answering in
// a random order after random delays, some not there, some lost half-way:
// the table, the entries and the writes must be what a loop of single "/S"
// runs gives, in the list's order. Built with ThreadSanitizer too
// (scripts/tsan.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "app/machine_list.h"
#include "app/startup.h"
#include "app/command_line.h"
#include "fakes.h"

namespace kestrad::testing {
namespace {

std::string Profile(const std::string& name) {
  std::ifstream in(std::string(KESTRAD_SOURCE_DIR "/tests/profiles/") + name + ".reg");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string NameOf(int i) { return "LAB-" + std::to_string(1000 + i).substr(1); }

// The machines behind one shared library, LAB-000 on: every tenth from the
// 3rd is not there, from the 5th lost at a registry call, from the 7th in
// PIO, from the 8th without its repair. In a list each call answers after a
// random delay; what reaches the console must come from the list's thread.
class Fleet : public Support {
 public:
  explicit Fleet(bool slow) : slow_(slow) {}
  std::map<std::string, FakeSupport> machines;  // those reached, by name
  std::map<std::string, int> connects;
  std::string out, err;
  std::thread::id console = std::this_thread::get_id();

  std::uint32_t ConnectRegistry(const std::string& name) override {
    Wait();
    std::lock_guard<std::mutex> hold(lock_);
    ++connects[name];
    const int i = std::stoi(name.substr(4));
    if (i % 10 == 3) throw RunError(53, "The network path was not found");
    FakeSupport& m = machines[name];
    m.Apply(Profile("healthy"));
    if (i % 10 == 7) m.Apply(Profile("demo"));
    if (i % 10 == 8) m.Apply(Profile("repair-missing"));
    if (i % 10 == 5) m.lost_at = 1 + i % 12;
    m.hive = next_hive_;
    hives_[next_hive_] = &m;
    return next_hive_++;
  }
  void DisconnectRegistry(std::uint32_t hive) override {
    std::lock_guard<std::mutex> hold(lock_);
    hives_.erase(hive);
  }
  bool ReadDWORDFromRegistry(std::uint32_t h, const std::string& k, const std::string& n,
                             std::int32_t& v) override {
    return At(h).ReadDWORDFromRegistry(h, k, n, v);
  }
  std::string ReadStringFromRegistry(std::uint32_t h, const std::string& k,
                                     const std::string& n) override {
    return At(h).ReadStringFromRegistry(h, k, n);
  }
  bool WriteDWORDToRegistry(std::uint32_t h, const std::string& k, const std::string& n,
                            std::int32_t v) override {
    return At(h).WriteDWORDToRegistry(h, k, n, v);
  }
  bool KeyExists(std::uint32_t h, const std::string& k) override { return At(h).KeyExists(h, k); }
  bool WriteLn(const std::string& t) override { return Console(out, t + "\r\n"); }
  bool WriteErrLn(const std::string& t) override { return Console(err, t + "\r\n"); }
  bool WriteErrProgress(const std::string&) override { return Console(out, ""), false; }
  std::vector<std::string> GetArgs(const std::string& text) override {
    return SplitArguments(text);
  }
  std::int32_t LibVersion() override { return 0; }
  void ShellRun(const std::string&) override {}
  void OpenConsole() override {}
  bool ConsoleOpen() override { return true; }
  void CloseConsole() override {}
  void SetConsoleAttributes(std::int32_t, std::int32_t) override {}
  void ClearConsoleAttributes() override {}
  void Writes(const std::string&) override {}
  bool InNativeConsole() override { return true; }
  void Pause(const std::string&) override {}

 private:
  void Wait() const {
    if (!slow_) return;
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 700));
  }
  FakeSupport& At(std::uint32_t hive) {
    Wait();
    std::lock_guard<std::mutex> hold(lock_);
    const auto m = hives_.find(hive);
    if (m == hives_.end()) throw MachineLost(6, "The handle is invalid");
    return *m->second;
  }
  bool Console(std::string& stream, const std::string& text) {
    EXPECT_EQ(console, std::this_thread::get_id()) << text;
    return stream += text, true;
  }
  const bool slow_;
  std::mutex lock_;
  std::map<std::uint32_t, FakeSupport*> hives_;
  std::uint32_t next_hive_ = 0x4B390000u;
};

// Real threads: a pool of `width` takes the jobs in order; each ended one
// is handed to the calling thread. The entries of every log go to one list.
class Threads : public Platform {
 public:
  std::string args;
  std::vector<std::string> entries;
  std::atomic<int> running{0}, most{0};
  std::string ArgumentText() override { return args; }
  std::vector<std::string> PastedDashes() override { return {}; }
  std::string ComputerName() override { return "SEAT"; }
  void ShowMessageBox(const std::string&, const std::string&, BoxStyle) override { FAIL(); }
  void EndProgram(int) override {}
  std::string ReadFile(const std::string&) override { throw RunError(2, "none"); }
  std::unique_ptr<EventLog> NewEventLog() override { return std::make_unique<Log>(*this); }
  void SideBySide(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job,
                  const std::function<void(std::size_t)>& done) override {
    std::mutex queue;
    std::condition_variable ended_one;
    std::deque<std::size_t> ended;
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < width; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i; (i = next++) < count;) {
          most = std::max(most.load(), ++running);
          job(i);
          --running;
          std::lock_guard<std::mutex> hold(queue);
          ended.push_back(i);
          ended_one.notify_one();
        }
      });
    }
    for (std::size_t n = 0; n < count; ++n) {
      std::unique_lock<std::mutex> hold(queue);
      ended_one.wait(hold, [&] { return !ended.empty(); });
      const std::size_t i = ended.front();
      ended.pop_front();
      hold.unlock();
      done(i);
    }
    for (std::thread& t : pool) t.join();
  }

  struct Log : EventLog {
    explicit Log(Threads& p) : platform(p) {}
    void Report(EventType type, EventId id, const std::string& text) override {
      std::lock_guard<std::mutex> hold(platform.lock);
      platform.entries.push_back(machine + " " + std::to_string(static_cast<int>(type)) + " " +
                                 std::to_string(static_cast<unsigned>(id)) + " " + text);
    }
    void MoveTo(const std::string& m) override { machine = m; }
    Threads& platform;
    std::string machine;
  };
  std::mutex lock;
};

struct Ran {
  int code;
  std::string out, err;
  std::vector<std::string> entries, written;
  std::map<std::string, int> connects;
};

Ran RunMain(const std::string& args, bool list) {
  Fleet fleet(list);
  Threads platform;
  Threads::Log log(platform);
  FakeForm form(fleet, log);
  platform.args = args;
  const int code = static_cast<int>(Main(fleet, log, platform, form));
  Ran run{code, fleet.out, fleet.err, platform.entries, {}, fleet.connects};
  for (auto& [name, m] : fleet.machines) {
    for (const std::string& w : m.written) run.written.push_back(name + " " + w);
  }
  std::sort(run.entries.begin(), run.entries.end());
  EXPECT_LE(platform.most.load(), static_cast<int>(kMachinesAtOnce));
  if (list) {
    EXPECT_GT(platform.most.load(), 1);
  }
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
    Ran loop{0,  report ? ReportHeader() + "\r\n" : "\"Computer\",\"Exit code\",\"Result\"\r\n",
             {}, {},
             {}, {}};
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
    std::string table = listed.out;
    if (!report)
      table =
          std::regex_replace(table, std::regex(R"(,"(DMA|nothing|repair|cannot)[^\r]*\r\n)"), ",");
    EXPECT_EQ(loop.out, table);
    EXPECT_EQ(loop.err + kUsageHint + "\r\n", listed.err);
    EXPECT_EQ(loop.entries, listed.entries);
    EXPECT_EQ(loop.written, listed.written);
    EXPECT_EQ(static_cast<std::size_t>(kMachines), listed.connects.size());
    for (const auto& [name, n] : listed.connects) EXPECT_EQ(1, n) << name;
  }
}

}  // namespace
}  // namespace kestrad::testing
