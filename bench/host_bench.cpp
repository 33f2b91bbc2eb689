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
  constexpr int kBatch = 1000;
  host::Command churn;
  std::string err;
  host::parseCommand("churn " + std::to_string(kBatch) + " every=1000", churn, err);
  for (auto _ : state) l.h->run(churn, err);
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
