// One reload of a full 32-record list file, against the floor: the same file read with a bare
// fopen/fgets/fclose loop.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

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

// A sparse file of `bytes` zero bytes in /tmp, removed at the end of the benchmark.
struct SparseFile {
  std::string path;
  explicit SparseFile(long long bytes) {
    char name[] = "/tmp/tolvane-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
      if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) name[0] = '\0';
      close(fd);
    }
    path = name;
  }
  ~SparseFile() { std::remove(path.c_str()); }
  SparseFile(const SparseFile &) = delete;
  SparseFile &operator=(const SparseFile &) = delete;
};

// A list path pointed at a 1 GiB file by mistake: the reload reads its first 1 MiB and stops.
// The floor reads a 1 MiB file of the same bytes with fopen/fgets/fclose to its end.
void reloadOfAHugeFile(benchmark::State &state) {
  const SparseFile huge(1LL << 30);
  const SparseFile mebibyte(TV_READ_LIMIT);
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 0;
  static char buf[TV_BFR_SIZE];
  static char io[TV_IO_SIZE];
  bench::paired(
      state, 2, [&] { tvReloadFile(huge.path.c_str(), buf, recs, &n, io); },
      [&] {
        FILE *f = std::fopen(mebibyte.path.c_str(), "r");
        while (std::fgets(buf, TV_READ_SIZE, f) != nullptr) benchmark::DoNotOptimize(buf);
        std::fclose(f);
      });
  if (n != 0) state.SkipWithError("a file of zero bytes gave records");
}
BENCHMARK(reloadOfAHugeFile)->Unit(benchmark::kMicrosecond);

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
