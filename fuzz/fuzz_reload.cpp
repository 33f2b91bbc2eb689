// The reload on arbitrary file contents, behind every kind of path the list's may name. The
// first byte chooses the kind: 1 a FIFO with no writer, 2 a FIFO whose writer holds the
// contents, 3 a folder, 4 no file at all, 5 a file whose contents begin 40 bytes before the
// byte limit, 6 one whose contents begin 2 pieces before the piece limit, any other a regular
// file of the contents. Only a regular file gives records, exactly those a string of its bytes
// gives (at most 32, each with ipMin <= ipMax), and the bytes past where reading stopped change
// nothing; every other kind gives none, at once.
// Each kind has a path of its own in the scratch folder, made once: an input only rewrites the
// contents of its file, so that nearly all the time goes to the reload and the parse.
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

enum Kind { REGULAR, FIFO, FIFO_WRITER, FOLDER, MISSING, LONG, MANY, KINDS };

// What a file of each kind holds before the input's bytes.
constexpr size_t kLongPrefix = TV_READ_LIMIT - 40;  // zero bytes
constexpr size_t kManyPrefix = TV_READ_PIECES - 2;  // newlines

// A kind's path, and for a file kind its descriptor, open for writing.
struct Place {
  std::string path;
  int fd = -1;
};

// A file of the scratch folder holding `prefix`, kept open for writing.
Place file(const char *name, const std::string &prefix) {
  Place p{fuzz::scratchDir() + "/" + name, -1};
  p.fd = open(p.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (p.fd < 0 || write(p.fd, prefix.data(), prefix.size()) != static_cast<ssize_t>(prefix.size()))
    std::abort();
  return p;
}

// Every kind's place, made on first use.
const Place *places() {
  static Place p[KINDS];
  static const bool made = [] {
    const std::string dir = fuzz::scratchDir() + "/";
    p[REGULAR] = file("list", "");
    p[FIFO] = {dir + "fifo", -1};
    p[FIFO_WRITER] = p[FIFO];
    p[FOLDER] = {dir + "folder", -1};
    p[MISSING] = {dir + "missing", -1};
    p[LONG] = file("long", std::string(kLongPrefix, '\0'));
    p[MANY] = file("many", std::string(kManyPrefix, '\n'));
    if (mkfifo(p[FIFO].path.c_str(), 0600) != 0 || mkdir(p[FOLDER].path.c_str(), 0700) != 0)
      std::abort();
    return true;
  }();
  (void)made;
  return p;
}

// Puts the input's bytes after the file's prefix, and nothing after them.
void rewrite(const Place &p, size_t prefix, const uint8_t *data, size_t size) {
  const auto end = static_cast<off_t>(prefix);
  if (ftruncate(p.fd, end) != 0) std::abort();
  if (size > 0 && pwrite(p.fd, data, size, end) != static_cast<ssize_t>(size)) std::abort();
}

// The records a string of these bytes gives, and how many of its bytes were read.
uint8 fromString(const std::string &bytes, Tolvane *recs, size_t *read) {
  char buf[TV_BFR_SIZE];
  uint8 n = 0;
  TvString s{bytes.data(), bytes.size(), 0};
  tvReadList(tvReadString, &s, buf, recs, &n, nullptr, nullptr);
  if (read != nullptr) *read = s.pos;
  return n;
}

// The records the file of this kind must give for the input: those of a string of the same
// bytes, where reading stops at the same limits and nothing past that point counts.
uint8 expected(Kind kind, const uint8_t *data, size_t size, Tolvane *recs) {
  if (kind == MANY) {
    // After its empty lines the reload reads exactly two pieces more, the input's first two:
    // modelled here, so that the 4,094 empty lines are read once per input and not three times.
    char buf[TV_BFR_SIZE];
    uint8 n = 0;
    TvString s{reinterpret_cast<const char *>(data), size, 0};
    for (int i = 0; i < 2 && tvReadString(buf, TV_READ_SIZE, &s) != nullptr; ++i) {
      if (tvParsePiece(buf, &recs[n], nullptr)) ++n;
    }
    return n;
  }
  std::string bytes(reinterpret_cast<const char *>(data), size);
  if (kind == LONG) bytes.insert(0, kLongPrefix, '\0');
  size_t read = 0;
  const uint8 n = fromString(bytes, recs, &read);
  // Reading never goes past the byte limit, and what lies past where it stopped (a limit or a
  // full table) changes nothing.
  if (read > TV_READ_LIMIT) std::abort();
  if (read < bytes.size()) {
    Tolvane cut[TV_NBR_RECS];
    if (fromString(bytes.substr(0, read), cut, nullptr) != n) std::abort();
    if (n > 0 && std::memcmp(cut, recs, n * sizeof recs[0]) != 0) std::abort();
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const Kind kind = data[0] < KINDS ? static_cast<Kind>(data[0]) : REGULAR;
  const Place &place = places()[kind];
  ++data;
  --size;
  int writer = -1;
  if (kind == REGULAR) rewrite(place, 0, data, size);
  if (kind == LONG) rewrite(place, kLongPrefix, data, size);
  if (kind == MANY) rewrite(place, kManyPrefix, data, size);
  if (kind == FIFO_WRITER) {
    writer = open(place.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (writer < 0) std::abort();
    if (size > 0 && write(writer, data, size) < 0) std::abort();
  }
  Tolvane recs[TV_NBR_RECS], again[TV_NBR_RECS];
  char buf[TV_BFR_SIZE];
  uint8 n = 77;
  static char io[TV_IO_SIZE];  // as the plug-in reads: through its own stream buffer
  tvReloadFile(place.path.c_str(), buf, recs, &n, io);
  if (writer >= 0) close(writer);  // the FIFO's contents go with its last descriptor
  if (kind != REGULAR && kind != LONG && kind != MANY) {
    if (n != 0) std::abort();
    return 0;
  }
  if (n > TV_NBR_RECS || n != expected(kind, data, size, again)) std::abort();
  for (int i = 0; i < n; ++i) {
    if (recs[i].ipMin > recs[i].ipMax) std::abort();
    if (std::memcmp(&recs[i], &again[i], sizeof recs[i]) != 0) std::abort();
  }
  return 0;
}
