// Ratios of benchmark times, printed after the run: each figure against its floor.
#ifndef TOLVANE_BENCH_RATIOS_H
#define TOLVANE_BENCH_RATIOS_H

namespace bench {

// Asks for "NAME / FLOOR" to be printed after the run, with the aim it should stay within.
void ratio(const char *name, const char *floor, double aim);

}  // namespace bench

#endif
