// Examination of a user against a full table, against the floor: the same fields of the same
// user record read as the plug-in must read them, then a bare loop of the same 32 compares.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include "paired.h"
#include "tv-match.h"

namespace {

// 32 records with distinct registration seeds; the probes differ only in which one they hit.
struct Table {
  Tolvane recs[TV_NBR_RECS];
  Table() {
    for (uint32 i = 0; i < TV_NBR_RECS; ++i) {
      recs[i] = Tolvane{1000 + i, i % 2 == 0 ? 0u : 77u, (10u << 24) + (i << 16),
                        (10u << 24) + (i << 16) + 0xFFFF};
    }
  }
};
const Table kTable;

// The floor: the compares of the walk written out as a bare loop over the table, laid out as
// well as it can be (a differing registration seed runs straight on).
inline int bareLoop(uint32 rSeed, uint32 pSeed, uint32 ip) {
  for (int i = 0; i < TV_NBR_RECS; ++i) {
    const Tolvane &r = kTable.recs[i];
    if (__builtin_expect(r.rSeed == rSeed, 0) && (r.pSeed == 0 || r.pSeed == pSeed) &&
        r.ipMin <= ip && ip <= r.ipMax)
      return i;
  }
  return -1;
}

// The figure and the floor each as a function of its own, so that neither gains or loses by how
// the compiler folds it into the timing loop. The figure is the plug-in's examination as it runs
// in noteUserRoomEntry: the user's three quantities from the record, then the walk.
__attribute__((noinline)) int examineUser(const ServerUserRec *u) {
  const TvProbe p = tvProbe(u->crc, u->counter, u->puidCtr, u->puidCRC, u->feIPAddr);
  return tvFindRecord(kTable.recs, TV_NBR_RECS, &p);
}

// The floor: the same fields read and combined by hand, then the bare loop.
__attribute__((noinline)) int bareUser(const ServerUserRec *u) {
  return bareLoop(u->crc ^ u->counter ^ TV_MASK, u->puidCtr ^ u->puidCRC, ntohl(u->feIPAddr));
}

// A user whose registration seed is `rSeed`, inside record `at`'s range, PUID seed 77: the
// examination against its floor.
void examine(benchmark::State &state, uint32 rSeed, uint32 at, int want) {
  ServerUserRec user{};
  user.crc = TV_MASK ^ rSeed ^ 0x1234u;
  user.counter = 0x1234u;
  user.puidCtr = 7;
  user.puidCRC = 7 ^ 77;
  user.feIPAddr = htonl((10u << 24) + (at << 16) + 5);
  user.loggedOn = 1;
  ServerUserRec *u = &user;
  int found = -2, bare = -2;
  bench::paired(
      state, 1000,
      [&] {
        benchmark::DoNotOptimize(u);
        found = examineUser(u);
        benchmark::DoNotOptimize(found);
      },
      [&] {
        benchmark::DoNotOptimize(u);
        bare = bareUser(u);
        benchmark::DoNotOptimize(bare);
      });
  if (found != want || bare != want)
    state.SkipWithError("the probe did not find the record it was meant to");
}

void examineMiss(benchmark::State &state) {
  examine(state, 5, 3, -1);
}
void examineFirst(benchmark::State &state) {
  examine(state, 1000, 0, 0);
}
void examineLast(benchmark::State &state) {
  examine(state, 1031, 31, 31);
}
BENCHMARK(examineMiss);
BENCHMARK(examineFirst);
BENCHMARK(examineLast);

}  // namespace
