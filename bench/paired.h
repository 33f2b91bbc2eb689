// A figure and its floor measured side by side: each iteration times a batch of the one, then a
// batch of the other, so that both see the same machine at the same moment.
#ifndef TOLVANE_BENCH_PAIRED_H
#define TOLVANE_BENCH_PAIRED_H

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

// Counters: ns (the figure, per call), floor_ns (the floor, per call) and ratio.
template <typename Figure, typename Floor>
void paired(benchmark::State &state, int batch, Figure figure, Floor floor) {
  using Clock = std::chrono::steady_clock;
  double figureNs = 0, floorNs = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int i = 0; i < batch; ++i) figure();
    const auto t1 = Clock::now();
    for (int i = 0; i < batch; ++i) floor();
    const auto t2 = Clock::now();
    figureNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
    floorNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  const double calls = static_cast<double>(state.iterations()) * batch;
  state.counters["ns"] = figureNs / calls;
  state.counters["floor_ns"] = floorNs / calls;
  state.counters["ratio"] = floorNs > 0 ? figureNs / floorNs : 0;
}

}  // namespace bench

#endif
