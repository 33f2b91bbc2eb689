// The reload on arbitrary file contents: read from a real file with fgets, as the plug-in
// does, and from a string; at most 32 records, each with ipMin <= ipMax, the same both ways.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scratch.h"
#include "tv-list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &file = fuzz::scratchFile(data, size);
  Tolvane recs[TV_NBR_RECS], again[TV_NBR_RECS];
  char buf[TV_BFR_SIZE];
  uint8 n = 0, m = 0;
  static char io[TV_IO_SIZE];  // as the plug-in reads: through its own stream buffer
  tvReloadFile(file.c_str(), buf, recs, &n, io);
  TvString s{reinterpret_cast<const char *>(data), size, 0};
  tvReadList(tvReadString, &s, buf, again, &m, nullptr, nullptr);
  if (n > TV_NBR_RECS || n != m) std::abort();
  for (int i = 0; i < n; ++i) {
    if (recs[i].ipMin > recs[i].ipMax) std::abort();
    if (std::memcmp(&recs[i], &again[i], sizeof recs[i]) != 0) std::abort();
  }
  return 0;
}
