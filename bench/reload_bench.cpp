// One reload of a full 32-record list file, against the floor: the same file read with a bare
// fopen/fgets/fclose loop.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "ratios.h"
#include "tv-list.h"

namespace {

const char *const kList = TOLVANE_BENCH_DIR "/full.list";

void reload(benchmark::State &state) {
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 0;
  char buf[TV_BFR_SIZE];
  for (auto _ : state) {
    tvReloadFile(kList, buf, recs, &n);
    benchmark::DoNotOptimize(recs);
  }
  if (n != TV_NBR_RECS) state.SkipWithError("the list file did not give 32 records");
}
BENCHMARK(reload);

void fgetsFloor(benchmark::State &state) {
  char buf[TV_BFR_SIZE];
  for (auto _ : state) {
    FILE *f = std::fopen(kList, "r");
    while (std::fgets(buf, TV_READ_SIZE, f) != nullptr) benchmark::DoNotOptimize(buf);
    std::fclose(f);
  }
}
BENCHMARK(fgetsFloor);

const bool kRatio = (bench::ratio("reload", "fgetsFloor", 1.2), true);

}  // namespace

namespace {

// The parse alone: the same file's pieces from memory.
void parseFromMemory(benchmark::State &state) {
  FILE *f = std::fopen(kList, "r");
  static char data[8192];
  const size_t len = std::fread(data, 1, sizeof data, f);
  std::fclose(f);
  Tolvane recs[TV_NBR_RECS];
  char buf[TV_BFR_SIZE];
  for (auto _ : state) {
    uint8 n = 0;
    TvString s{data, len, 0};
    tvReadList(tvReadString, &s, buf, recs, &n, nullptr, nullptr);
    benchmark::DoNotOptimize(recs);
  }
}
BENCHMARK(parseFromMemory);

}  // namespace

namespace {

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
