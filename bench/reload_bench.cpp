// One reload of a full 32-record list file, against the floor: the same file read with a bare
// fopen/fgets/fclose loop.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "paired.h"
#include "tv-list.h"

namespace {

const char *const kList = TOLVANE_BENCH_DIR "/full.list";

struct Reload {
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 0;
  char buf[TV_BFR_SIZE];
  char io[TV_IO_SIZE];
  void operator()() {
    tvReloadFile(kList, buf, recs, &n, io);
    benchmark::DoNotOptimize(recs);
  }
};

struct FgetsFloor {
  char buf[TV_BFR_SIZE];
  void operator()() {
    FILE *f = std::fopen(kList, "r");
    while (std::fgets(buf, TV_READ_SIZE, f) != nullptr) benchmark::DoNotOptimize(buf);
    std::fclose(f);
  }
};

void reloadVsFgets(benchmark::State &state) {
  Reload reload;
  FgetsFloor floor;
  bench::paired(
      state, 16, [&] { reload(); }, [&] { floor(); });
  if (reload.n != TV_NBR_RECS) state.SkipWithError("the list file did not give 32 records");
}
BENCHMARK(reloadVsFgets);

// The parse alone: each piece of the file, already split, through the piece parser.
void parsePieces(benchmark::State &state) {
  FILE *f = std::fopen(kList, "r");
  static char pieces[128][TV_BFR_SIZE];
  int n = 0;
  while (n < 128 && std::fgets(pieces[n], TV_READ_SIZE, f) != nullptr) ++n;
  std::fclose(f);
  Tolvane rec;
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) benchmark::DoNotOptimize(tvParsePiece(pieces[i], &rec, nullptr));
  }
}
BENCHMARK(parsePieces);

}  // namespace
