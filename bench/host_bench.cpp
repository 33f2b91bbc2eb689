// The stand-in host with the real plug-in loaded: room entries per second (users created, logged
// on, entering a room and deleted in a loop) and the host's memory per live user.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host.h"
#include "loader.h"
#include "scenario.h"
#include "tv-match.h"

namespace {

// A quiet host with the plug-in started on the example list and its first reload done.
struct Loaded {
  FILE *devnull = std::fopen("/dev/null", "w");
  std::unique_ptr<host::Host> h;
  bool ok = false;
  Loaded() {
    host::Plugin plugin;
    std::string err;
    if (devnull == nullptr || !host::loadPlugin(TOLVANE_PLUGIN, plugin, err)) return;
    h = std::make_unique<host::Host>(devnull, 1, true);
    h->start(plugin, {TOLVANE_PLUGIN, TOLVANE_LIST}, 2);
    ok = run("wait 0");
  }
  ~Loaded() {
    h.reset();
    if (devnull != nullptr) std::fclose(devnull);
  }
  Loaded(const Loaded &) = delete;
  Loaded &operator=(const Loaded &) = delete;
  bool run(const std::string &line) {
    host::Command c;
    std::string err;
    return host::parseCommand(line, c, err) && h->run(c, err);
  }
};

// Heap bytes in use.
double heapInUse() {
  return static_cast<double>(mallinfo2().uordblks);
}

void hostRoomEntries(benchmark::State &state) {
  Loaded l;
  if (!l.ok) {
    state.SkipWithError("cannot load the plug-in");
    return;
  }
  // Half the users have the registration seed of the example list's Ada and are recognised.
  constexpr int kBatch = 1000;
  host::Command ada, other;
  std::string err;
  const std::string crc = " crc=" + std::to_string(TV_MASK);
  host::parseCommand("churn 500 every=500" + crc + " counter=53 ip=10.1.2.3", ada, err);
  host::parseCommand("churn 500 every=500" + crc + " counter=54 ip=10.1.2.4", other, err);
  for (auto _ : state) {
    l.h->run(ada, err);
    l.h->run(other, err);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  if (l.h->violations() != 0) state.SkipWithError("the host reported violations");
}
BENCHMARK(hostRoomEntries)->Unit(benchmark::kMillisecond);

void hostMemoryPerUser(benchmark::State &state) {
  constexpr int kUsers = 100000;
  for (auto _ : state) {
    Loaded l;
    const double before = heapInUse();
    for (int i = 0; i < kUsers; ++i) {
      const std::string n = "u" + std::to_string(i);
      l.run("user " + n + " crc=" + std::to_string(i) + " ip=10.9.0.1");
      l.run("logon " + n);
      l.run("enter " + n + " lobby");
    }
    state.counters["bytes_per_user"] = (heapInUse() - before) / kUsers;
  }
}
BENCHMARK(hostMemoryPerUser)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

}  // namespace
