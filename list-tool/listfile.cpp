#include "listfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
  }
  if (!lineStart && start > 0) {
    add(r, start, Severity::Warning, "split",
        "the line is longer than 62 characters: from here on it is read as a piece of its own");
  }
  if (why.end == TV_RECORD) {
    if (tableFull) {
      add(r, start, Severity::Warning, "table-full",
          "ignored: the table already holds 32 records, and the plug-in reads no further");
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
  if (blank(piece, len) || comment(piece, len) || r.lineIsComment || r.lineLost) return;
  const Remark m = whyNoRecord(piece, len, why, cut);
  add(r, start + m.at, Severity::Error, m.code, m.message);
  r.lineLost = cut;
}

void seen(void *ctx, const char *piece, const Tolvane *rec, const TvWhy *why) {
  account(*static_cast<Reading *>(ctx), piece, rec, *why, false);
}

}  // namespace

bool readFile(const std::string &path, std::string &data, std::string &err) {
  FILE *f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    err = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  data.clear();
  char buf[65536];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  const bool bad = std::ferror(f) != 0;
  if (f != stdin) std::fclose(f);
  if (bad) {
    err = "cannot read " + path + ": read error";
    return false;
  }
  return true;
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
  tvReadList(readPiece, &r, iBfr, recs, &nbrRecs, seen, &r);
  // What the plug-in never reads once its table is full.
  while (readPiece(iBfr, TV_READ_SIZE, &r) != nullptr) {
    Tolvane rec;
    TvWhy why;
    tvParsePiece(iBfr, &rec, &why);
    if (why.end == TV_RECORD) account(r, iBfr, &rec, why, true);
  }
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding &a, const Finding &b) {
                     return a.line != b.line ? a.line < b.line : a.column < b.column;
                   });
  return report;
}

}  // namespace tl
