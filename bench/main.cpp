// Runs the benchmarks, then prints each ratio of a figure to its floor from the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ratios.h"

namespace bench {
namespace {

struct Ratio {
  std::string name, floor;
  double aim;
};

std::vector<Ratio> &ratios() {
  static std::vector<Ratio> r;
  return r;
}

// The console report, keeping each benchmark's time per iteration as it goes.
class Recorder : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        ns[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

void ratio(const char *name, const char *floor, double aim) {
  ratios().push_back({name, floor, aim});
}

}  // namespace bench

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::Recorder rec;
  benchmark::RunSpecifiedBenchmarks(&rec);
  std::printf("\n%-40s %10s %8s %6s\n", "ratio", "value", "aim", "");
  for (const auto &r : bench::ratios()) {
    const auto a = rec.ns.find(r.name), b = rec.ns.find(r.floor);
    if (a == rec.ns.end() || b == rec.ns.end() || b->second <= 0) continue;
    const double v = a->second / b->second;
    std::printf("%-40s %10.3f %8.2f %6s\n", (r.name + " / " + r.floor).c_str(), v, r.aim,
                v <= r.aim ? "ok" : "MISSED");
  }
  benchmark::Shutdown();
  return 0;
}
