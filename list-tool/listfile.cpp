#include "listfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "explain.h"

namespace tl {
namespace {

// Where each piece came from, as the reload reads them.
struct Reading {
  TvString src;
  size_t pieceStart = 0;      // offset of the piece being parsed
  std::vector<size_t> lines;  // offset of each line's first byte
  Report *report = nullptr;
  const Tolvane *recs = nullptr;
  bool lineIsComment = false;  // the current line's first piece was a comment
  bool lineLost = false;       // an earlier piece of the current line was cut short of a record
  // What the current line has been told already: each at most once a line, so that the report
  // of a long line does not grow with its length.
  bool splitSaid = false;
  bool errorSaid = false;
  bool fullSaid = false;
};

// Reads the next piece and remembers where it starts.
char *readPiece(char *buf, int size, void *src) {
  auto *r = static_cast<Reading *>(src);
  r->pieceStart = r->src.pos;
  return tvReadString(buf, size, &r->src);
}

int lineOf(const Reading &r, size_t offset) {
  size_t lo = 0, hi = r.lines.size();
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    (r.lines[mid] <= offset ? lo : hi) = mid;
  }
  return static_cast<int>(lo) + 1;
}

void add(Reading &r, size_t offset, Severity s, const std::string &code, const std::string &msg) {
  const int line = lineOf(r, offset);
  const int column = static_cast<int>(offset - r.lines[static_cast<size_t>(line) - 1]) + 1;
  r.report->findings.push_back({line, column, s, code, msg});
}

bool blank(const char *p, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    if (p[i] != ' ' && p[i] != '\t' && p[i] != '\r' && p[i] != '\n') return false;
  }
  return true;
}

bool comment(const char *p, size_t len) {
  size_t i = 0;
  while (i < len && (p[i] == ' ' || p[i] == '\t')) ++i;
  return i < len && p[i] == '#';
}

// Accounts for one piece: its record and remarks, or why it gave none.
void account(Reading &r, const char *piece, const Tolvane *rec, const TvWhy &why, bool tableFull) {
  const size_t start = r.pieceStart;
  const size_t len = r.src.pos - start;
  const bool lineStart = start == 0 || r.src.data[start - 1] == '\n';
  const bool cut = len == TV_READ_SIZE - 1 && piece[len - 1] != '\n';
  if (lineStart) {
    r.lineIsComment = comment(piece, len);
    r.lineLost = false;
    r.splitSaid = r.errorSaid = r.fullSaid = false;
  }
  if (!lineStart && start > 0 && !r.splitSaid) {
    add(r, start, Severity::Warning, "split",
        "the line is longer than 62 characters: from here on it is read as a piece of its own");
    r.splitSaid = true;
  }
  if (why.end == TV_RECORD) {
    if (tableFull) {
      if (!r.fullSaid) {
        add(r, start, Severity::Warning, "table-full",
            "ignored: the table already holds 32 records, and the plug-in reads no further");
      }
      r.fullSaid = true;
      return;
    }
    const int line = lineOf(r, start);
    const int column = static_cast<int>(start - r.lines[static_cast<size_t>(line) - 1]) + 1;
    r.report->records.push_back(
        {static_cast<int>(r.report->records.size()) + 1, line, column, *rec});
    for (const Remark &m : recordRemarks(piece, len, why, *rec))
      add(r, start + m.at, Severity::Warning, m.code, m.message);
    return;
  }
  // The rest of a comment line, or of a line whose record was cut, says nothing new.
  if (blank(piece, len) || comment(piece, len) || r.lineIsComment || r.lineLost || r.errorSaid)
    return;
  const Remark m = whyNoRecord(piece, len, why, cut);
  add(r, start + m.at, Severity::Error, m.code, m.message);
  r.lineLost = cut;
  r.errorSaid = true;
}

void seen(void *ctx, const char *piece, const Tolvane *rec, const TvWhy *why) {
  account(*static_cast<Reading *>(ctx), piece, rec, *why, false);
}

}  // namespace

namespace {

// What a path names, for a file that is not a regular one.
const char *kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Reads at most `most` bytes of the descriptor into data; false on a read error.
bool readUpTo(int fd, size_t most, std::string &data) {
  data.clear();
  char buf[65536];
  while (data.size() < most) {
    const size_t want = std::min(sizeof buf, most - data.size());
    const ssize_t n = ::read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool readFile(const std::string &path, std::string &data, std::string &err) {
  // One byte past the plug-in's limit tells that there is more than it reads.
  const size_t most = TV_READ_LIMIT + size_t{1};
  if (path == "-") {
    if (!readUpTo(STDIN_FILENO, most, data)) {
      err = std::string("cannot read standard input: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
  // Opened as the plug-in opens it: without waiting for a FIFO's writer or a terminal.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    err = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    err = "cannot read " + path + ": " + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    err = "cannot read " + path + ": is " + kindOf(st.st_mode) +
          ", and the plug-in reads only a regular file (it would load no record)";
    ok = false;
  } else if (!readUpTo(fd, most, data)) {
    err = "cannot read " + path + ": " + std::strerror(errno);
    ok = false;
  }
  ::close(fd);
  return ok;
}

Report checkList(const std::string &file, const std::string &data) {
  Report report;
  report.file = file;
  Reading r;
  r.src = TvString{data.data(), data.size(), 0};
  r.report = &report;
  r.lines.push_back(0);
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n' && i + 1 < data.size()) r.lines.push_back(i + 1);
  }
  Tolvane recs[TV_NBR_RECS];
  char iBfr[TV_BFR_SIZE];
  uint8 nbrRecs = 0;
  uint32 used = tvReadList(readPiece, &r, iBfr, recs, &nbrRecs, seen, &r);
  // What the plug-in never reads once its table is full, up to the same limit.
  for (int size; (size = tvNextReadSize(used)) > 0 && readPiece(iBfr, size, &r) != nullptr;) {
    used += tvPieceBytes(iBfr, size);
    Tolvane rec;
    TvWhy why;
    tvParsePiece(iBfr, &rec, &why);
    if (why.end == TV_RECORD) account(r, iBfr, &rec, why, true);
  }
  if (tvNextReadSize(used) == 0 && r.src.pos < data.size()) {
    add(r, r.src.pos, Severity::Error, "too-long",
        "the plug-in reads only the first " + std::to_string(TV_READ_LIMIT) +
            " bytes of a list: from here on nothing is read");
  }
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding &a, const Finding &b) {
                     return a.line != b.line ? a.line < b.line : a.column < b.column;
                   });
  return report;
}

}  // namespace tl
