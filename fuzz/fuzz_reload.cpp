// The reload on arbitrary file contents, behind every kind of path the list's may name. The
// first byte chooses the kind: 1 a FIFO with no writer, 2 a FIFO whose writer holds the
// contents, 3 a folder, 4 no file at all, 5 a long file whose contents begin just before the
// read limit (slow to read, so only this one value of 256 picks it), any other a regular file. Only
// a regular file gives records, exactly those a string of its bytes gives (at most 32, each with
// ipMin <= ipMax, nothing past the limit); every other kind gives none, at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scratch.h"
#include "tv-list.h"

namespace {

enum Kind { REGULAR, FIFO, FIFO_WRITER, FOLDER, MISSING, LONG };

// The records a string of these bytes gives.
uint8 fromString(const std::string &bytes, Tolvane *recs) {
  char buf[TV_BFR_SIZE];
  uint8 n = 0;
  TvString s{bytes.data(), bytes.size(), 0};
  tvReadList(tvReadString, &s, buf, recs, &n, nullptr, nullptr);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const int pick = data[0];
  const Kind kind = pick <= LONG ? static_cast<Kind>(pick) : REGULAR;
  std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  const std::string path = fuzz::scratchDir() + "/list";
  std::remove(path.c_str());
  rmdir(path.c_str());
  int writer = -1;
  switch (kind) {
    case REGULAR:
      fuzz::scratchFile(bytes.data(), bytes.size());
      break;
    case LONG:
      // Contents that straddle the limit: zero bytes up to 40 before it, then the input.
      bytes.insert(0, TV_READ_LIMIT - 40, '\0');
      fuzz::scratchFile(bytes.data(), bytes.size());
      break;
    case FIFO:
    case FIFO_WRITER:
      if (mkfifo(path.c_str(), 0600) != 0) std::abort();
      if (kind == FIFO_WRITER) {
        writer = open(path.c_str(), O_RDWR | O_NONBLOCK);
        if (writer < 0) std::abort();
        if (!bytes.empty() && write(writer, bytes.data(), bytes.size()) < 0) std::abort();
      }
      break;
    case FOLDER:
      if (mkdir(path.c_str(), 0700) != 0) std::abort();
      break;
    case MISSING:
      break;
  }
  Tolvane recs[TV_NBR_RECS], again[TV_NBR_RECS];
  char buf[TV_BFR_SIZE];
  uint8 n = 77;
  static char io[TV_IO_SIZE];  // as the plug-in reads: through its own stream buffer
  tvReloadFile(path.c_str(), buf, recs, &n, io);
  if (writer >= 0) close(writer);
  if (kind != REGULAR && kind != LONG) {
    if (n != 0) std::abort();
    return 0;
  }
  const uint8 m = fromString(bytes, again);
  if (n > TV_NBR_RECS || n != m) std::abort();
  // What lies past the limit changes nothing.
  if (bytes.size() > TV_READ_LIMIT && fromString(bytes.substr(0, TV_READ_LIMIT), again) != n)
    std::abort();
  for (int i = 0; i < n; ++i) {
    if (recs[i].ipMin > recs[i].ipMax) std::abort();
    if (std::memcmp(&recs[i], &again[i], sizeof recs[i]) != 0) std::abort();
  }
  return 0;
}
