// A fleet of fake machines behind one support library that answers from
// several threads at once, and a platform that works a list on real
// threads: for the list test and the list's benchmark.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/platform.h"
#include "fakes.h"

namespace kestrad::testing {

inline std::string Profile(const std::string& name) {
  std::ifstream in(std::string(KESTRAD_SOURCE_DIR "/tests/profiles/") + name + ".reg");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string NameOf(int i) { return "LAB-" + std::to_string(1000 + i).substr(1); }

// The machines behind one shared library, LAB-000 on: every tenth from the
// 3rd is not there, from the 5th lost at a registry call, from the 7th in
// PIO, from the 8th without its repair. Each call answers after `wait` has
// returned (given the machine's name when it connects, else ""); what
// reaches the console must come from the list's own thread.
class Fleet : public FakeSupport {
 public:
  explicit Fleet(std::function<void(const std::string&)> wait) : wait_(std::move(wait)) {}
  std::map<std::string, FakeSupport> machines;  // those reached, by name
  std::map<std::string, int> connects;
  std::atomic<bool> off_thread{false};  // a worker wrote to the console

  std::uint32_t ConnectRegistry(const std::string& name) override {
    wait_(name);
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
  void DisconnectRegistry(std::uint32_t h) override {
    std::lock_guard<std::mutex> hold(lock_);
    hives_.erase(h);
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
  bool WriteLn(const std::string& t) override { return Seat(), FakeSupport::WriteLn(t); }
  bool WriteErrLn(const std::string& t) override { return Seat(), FakeSupport::WriteErrLn(t); }
  bool WriteErrProgress(const std::string& t) override {
    return Seat(), FakeSupport::WriteErrProgress(t);
  }

 private:
  FakeSupport& At(std::uint32_t h) {
    wait_("");
    std::lock_guard<std::mutex> hold(lock_);
    const auto m = hives_.find(h);
    if (m == hives_.end()) throw MachineLost(6, "The handle is invalid");
    return *m->second;
  }
  void Seat() {
    if (std::this_thread::get_id() != seat_) off_thread = true;
  }
  const std::thread::id seat_ = std::this_thread::get_id();
  const std::function<void(const std::string&)> wait_;
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
  bool shown = false;  // a box, which nobody would close
  std::string ArgumentText() override { return args; }
  std::vector<std::string> PastedDashes() override { return {}; }
  std::string ComputerName() override { return "SEAT"; }
  void ShowMessageBox(const std::string&, const std::string&, BoxStyle) override { shown = true; }
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

}  // namespace kestrad::testing
