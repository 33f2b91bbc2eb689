// The reload against its floors. A full 32-record list against a bare fopen/fgets/fclose loop;
// the example list, a mebibyte of empty lines and a 1 GiB sparse file each against the safe
// floor: what any reload that never stalls must do to read the same bytes (open without
// waiting, ask whether the path is a regular file, fdopen, as many fgets as the reload makes,
// fclose).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
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
  void operator()(const char *path) {
    tvReloadFile(path, buf, recs, &n, io);
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
      state, 16, [&] { reload(kList); }, [&] { floor(); });
  if (reload.n != TV_NBR_RECS) state.SkipWithError("the list file did not give 32 records");
}
BENCHMARK(reloadVsFgets);

// How many fgets a reload of the file makes: the pieces it reads, and the call that finds the
// end when no limit stopped it first.
int readsOf(const char *path) {
  FILE *f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  char buf[TV_BFR_SIZE];
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 0;
  const auto read = [](char *b, int size, void *src) {
    return std::fgets(b, size, static_cast<FILE *>(src));
  };
  const TvRead done = tvReadList(read, f, buf, recs, &n, nullptr, nullptr);
  std::fclose(f);
  const bool atEnd = n < TV_NBR_RECS && tvNextReadSize(done) > 0;
  return static_cast<int>(done.pieces) + (atEnd ? 1 : 0);
}

// The safe floor: open without waiting, the regular-file check, then fdopen/fgets/fclose with
// the stream buffer given, `reads` fgets at most.
struct SafeFloor {
  char buf[TV_BFR_SIZE];
  char io[TV_IO_SIZE];
  void operator()(const char *path, int reads) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) return;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return;
    }
    FILE *f = fdopen(fd, "r");
    setvbuf(f, io, _IOFBF, TV_IO_SIZE);
    for (int i = 0; i < reads && fgets_unlocked(buf, TV_READ_SIZE, f) != nullptr; ++i)
      benchmark::DoNotOptimize(buf);
    std::fclose(f);
  }
};

// A file of `bytes` bytes in /tmp, removed at the end of the benchmark: sparse (zero bytes), or
// filled with `fill`.
struct ScratchFile {
  std::string path;
  ScratchFile(long long bytes, char fill) {
    char name[] = "/tmp/tolvane-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
      bool ok = ftruncate(fd, static_cast<off_t>(bytes)) == 0;
      if (fill != '\0') {
        const std::string block(1 << 16, fill);
        for (long long at = 0; ok && at < bytes; at += static_cast<long long>(block.size()))
          ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
      }
      if (!ok) name[0] = '\0';
      close(fd);
    }
    path = name;
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  ScratchFile(const ScratchFile &) = delete;
  ScratchFile &operator=(const ScratchFile &) = delete;
};

// The reload of `path` beside the safe floor of the same file, in batches of `batch`.
void againstSafeFloor(benchmark::State &state, const char *path, int batch, uint8 records) {
  Reload reload;
  SafeFloor floor;
  const int reads = readsOf(path);
  bench::paired(
      state, batch, [&] { reload(path); }, [&] { floor(path, reads); });
  state.counters["reads"] = reads;
  if (reads == 0 || reload.n != records) state.SkipWithError("the file did not read as expected");
}

// The example list: three records and their comments.
void reloadOfTheExample(benchmark::State &state) {
  againstSafeFloor(state, TOLVANE_LIST, 16, 3);
}
BENCHMARK(reloadOfTheExample);

// A mebibyte of empty lines at the list's path (a log, a mistake): the costliest file there is,
// a piece per byte; the reload reads TV_READ_PIECES of them.
void reloadOfEmptyLines(benchmark::State &state) {
  const ScratchFile lines(1LL << 20, '\n');
  againstSafeFloor(state, lines.path.c_str(), 2, 0);
}
BENCHMARK(reloadOfEmptyLines)->Unit(benchmark::kMicrosecond);

// A list path pointed at a 1 GiB file by mistake: the reload reads its first TV_READ_LIMIT bytes.
void reloadOfAHugeFile(benchmark::State &state) {
  const ScratchFile huge(1LL << 30, '\0');
  againstSafeFloor(state, huge.path.c_str(), 2, 0);
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
