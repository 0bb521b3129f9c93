// The time of "/S" over a list, on the fakes: 200 machines each answering
// after 100 ms, 20 of them, spread through the list, only after 5 s, as
// machines switched off make Windows wait. Printed beside its floor, the
// larger of the slowest answer and the sum of all answers shared by the
// machines worked at once, and beside a loop of single runs, which waits
// for the sum (computed, not waited for).
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/machine_list.h"
#include "app/startup.h"
#include "fleet.h"

using namespace std::chrono;
using kestrad::testing::NameOf;

namespace {

constexpr int kMachines = 200;
constexpr double kTarget = 1.2;

milliseconds Answer(const std::string& name) {
  return std::stoi(name.substr(4)) % 10 == 9 ? milliseconds(5000) : milliseconds(100);
}

}  // namespace

int main() {
  std::string list = NameOf(0);
  milliseconds sum = Answer(list), slowest = sum;
  for (int i = 1; i < kMachines; ++i) {
    list += "," + NameOf(i);
    sum += Answer(NameOf(i));
    slowest = std::max(slowest, Answer(NameOf(i)));
  }
  kestrad::testing::Fleet fleet([](const std::string& name) {
    if (!name.empty()) std::this_thread::sleep_for(Answer(name));
  });
  kestrad::testing::FakeLog log;
  kestrad::testing::FakeForm form(fleet, log);
  kestrad::testing::Threads platform(form, log);
  platform.args = "/CHECK /S " + list;
  const auto start = steady_clock::now();
  kestrad::Main(fleet, log, platform, form);
  const double took = duration<double>(steady_clock::now() - start).count();
  const double floor = std::max(duration<double>(slowest).count(),
                                duration<double>(sum).count() / kestrad::kMachinesAtOnce);
  std::printf("[g] a list of %d machines, %zu at once (100 ms each, every tenth 5 s)\n", kMachines,
              kestrad::kMachinesAtOnce);
  std::printf("  the list: %.2f s; its floor: %.2f s; list / floor = %.3f   target <= %.2f: %s\n",
              took, floor, took / floor, kTarget, took / floor <= kTarget ? "met" : "NOT MET");
  std::printf("  a loop of single runs: %.1f s (the sum of the answers); loop / list = %.1f\n",
              duration<double>(sum).count(), duration<double>(sum).count() / took);
  return 0;
}
