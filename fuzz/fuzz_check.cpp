// The list tool against the plug-in on arbitrary file contents: `check` reports exactly the
// records that the plug-in's reload loads from the same bytes, in the same order, and every
// finding points into the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "content/report.h"
#include "scratch.h"
#include "tv-list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  const std::string file = fuzz::scratchFile(data, size);
  Tolvane recs[TV_NBR_RECS];
  char buf[TV_BFR_SIZE];
  uint8 n = 0;
  static char io[TV_IO_SIZE];  // as the plug-in reads: through its own stream buffer
  tvReloadFile(file.c_str(), buf, recs, &n, io);
  const tl::Report r = tl::checkList("fuzz.list", bytes);
  if (r.records.size() != n) std::abort();
  for (int i = 0; i < n; ++i) {
    const Tolvane &a = r.records[static_cast<size_t>(i)].rec;
    if (a.rSeed != recs[i].rSeed || a.pSeed != recs[i].pSeed || a.ipMin != recs[i].ipMin ||
        a.ipMax != recs[i].ipMax)
      std::abort();
  }
  int lines = 1;
  for (char c : bytes) lines += c == '\n' ? 1 : 0;
  for (const tl::Finding &fd : r.findings) {
    if (fd.message.empty()) std::abort();
    if (fd.line == 0 && fd.column == 0) continue;  // about the whole file
    if (fd.line < 1 || fd.line > lines || fd.column < 1) std::abort();
    if (fd.caret > fd.source.size()) std::abort();
  }
  // A line that the plug-in reads no record from has at most one error, however long it is. A
  // line that gives records may carry more: about each record (one spilled past the 62nd byte
  // included) and what the plug-in skips in it; so may the line of a record past the 32nd.
  std::set<int> recordLines;
  for (const tl::Loaded &l : r.records) recordLines.insert(l.line);
  for (const tl::Loaded &l : r.ignored) recordLines.insert(l.line);
  int lastErrorLine = -1;
  for (const tl::Finding &fd : r.findings) {
    if (fd.severity != tl::Severity::Error || fd.line == 0 || recordLines.count(fd.line) != 0 ||
        fd.code == "too-long" || fd.code == "extra-group" || fd.code == "skipped-text" ||
        fd.code == "lone-cr")
      continue;
    if (fd.line == lastErrorLine) std::abort();
    lastErrorLine = fd.line;
  }
  return 0;
}
