// Fake machines behind one library answering from several threads, and a
// platform working a list on real threads: the list's test and benchmark.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <thread>

#include "fakes.h"

namespace kestrad::testing {

inline std::string Profile(const std::string& name) {  // none for ""
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
    for (const char* p : {"healthy", i % 10 == 7 ? "demo" : i % 10 == 8 ? "repair-missing" : ""})
      m.Apply(Profile(p));
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
// is handed to the calling thread.
class Threads : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  std::atomic<int> running{0}, most{0};
  void SideBySide(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job,
                  const std::function<void(std::size_t)>& done) override {
    std::mutex queue;
    std::condition_variable ended_one;
    std::deque<std::size_t> finished;
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < width; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i; (i = next++) < count;) {
          most = std::max(most.load(), ++running);
          job(i);
          --running;
          std::lock_guard<std::mutex> hold(queue);
          finished.push_back(i);
          ended_one.notify_one();
        }
      });
    }
    for (std::size_t n = 0; n < count; ++n) {
      std::unique_lock<std::mutex> hold(queue);
      ended_one.wait(hold, [&] { return !finished.empty(); });
      const std::size_t i = finished.front();
      finished.pop_front();
      hold.unlock();
      done(i);
    }
    for (std::thread& t : pool) t.join();
  }
};

}  // namespace kestrad::testing
