// Runs the benchmarks, then prints a summary table: each figure beside its floor from the same
// run, their ratio and the aim. With repetitions, the medians are used.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Figure {
  double ns = 0;       // per call: the paired figure
  double floorNs = 0;  // per call: its floor
  double ratio = 0;    // of the two sums
  double perSec = 0;   // items per second, where counted
  double perUser = 0;  // bytes per user, where counted
};

// The console report, keeping each benchmark's figures as they come.
class Recorder : public benchmark::ConsoleReporter {
 public:
  explicit Recorder(OutputOptions o) : ConsoleReporter(o) {}
  std::map<std::string, Figure> figures;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.error_occurred || (r.run_type != Run::RT_Iteration && !median)) continue;
      Figure &f = figures[r.run_name.function_name];
      const auto counter = [&](const char *name) {
        const auto it = r.counters.find(name);
        return it != r.counters.end() ? static_cast<double>(it->second) : 0.0;
      };
      f.ns = counter("ns");
      f.floorNs = counter("floor_ns");
      f.ratio = counter("ratio");
      f.perSec = counter("items_per_second");
      f.perUser = counter("bytes_per_user");
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string time(double ns) {
  char buf[32];
  if (ns >= 1e6) {
    std::snprintf(buf, sizeof buf, "%.2f ms", ns / 1e6);
  } else if (ns >= 1000) {
    std::snprintf(buf, sizeof buf, "%.2f µs", ns / 1000);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f ns", ns);
  }
  return buf;
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Recorder rec(isatty(STDOUT_FILENO) != 0 ? benchmark::ConsoleReporter::OO_ColorTabular
                                          : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&rec);
  auto &f = rec.figures;
  std::printf("\n| figure | measured | floor | ratio | aim |\n|---|---|---|---|---|\n");
  // A row: the figure, its floor, their ratio, and the aim (a most ratio, or a most time).
  const auto ratioRow = [&](const char *what, const char *name, const char *floorWhat, double aim,
                            double aimNs = 0) {
    const Figure &x = f[name];
    if (x.ratio <= 0) return;
    char goal[48] = "";
    if (aim > 0)
      std::snprintf(goal, sizeof goal, "at most %.1f%s", aim, x.ratio <= aim ? "" : ": missed");
    if (aimNs > 0)
      std::snprintf(goal, sizeof goal, "at most %s%s", time(aimNs).c_str(),
                    x.ns <= aimNs ? "" : ": missed");
    std::printf("| %s | %s | %s (%s) | %.2f | %s |\n", what, time(x.ns).c_str(),
                time(x.floorNs).c_str(), floorWhat, x.ratio, goal);
  };
  ratioRow("reload of a full 32-record list", "reloadVsFgets", "fopen/fgets/fclose", 1.2);
  ratioRow("reload of the example list", "reloadOfTheExample", "safe floor", 0);
  ratioRow("reload of 1 MiB of empty lines (reads 4,096)", "reloadOfEmptyLines",
           "safe floor, as many fgets", 0, 1e6);
  ratioRow("reload of a 1 GiB sparse file (reads 64 KiB)", "reloadOfAHugeFile",
           "safe floor, as many fgets", 0, 1e6);
  ratioRow("examination, a miss", "examineMiss", "the user's fields and a bare loop of 32 compares",
           1.3);
  ratioRow("examination, match on the first record", "examineFirst", "bare loop", 0);
  ratioRow("examination, match on the last record", "examineLast", "bare loop", 0);
  ratioRow("check of a list with a kept copy, 20,000 folders planted in /var/tmp",
           "checkAmongPlantedFolders", "none planted", 1.2);
  if (f["hostRoomEntries"].perSec > 0) {
    const double m = f["hostRoomEntries"].perSec / 1e6;
    std::printf(
        "| host: room entries (created, entering, deleted) | %.2f M/s | | | at least 1 M/s%s |\n",
        m, m >= 1 ? "" : ": missed");
  }
  if (f["hostMemoryPerUser"].perUser > 0)
    std::printf("| host: memory per live user | %.0f bytes | | | |\n",
                f["hostMemoryPerUser"].perUser);
  benchmark::Shutdown();
  return 0;
}
