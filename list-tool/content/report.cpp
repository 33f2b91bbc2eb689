#include "content/report.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "content/explain.h"
#include "content/shown.h"

namespace tl {
namespace {

// Findings of one kind shown for a file, at the most.
constexpr size_t kMostOfAKind = 50;

// Where each piece came from, as the reload reads them.
struct Reading {
  TvString src;
  size_t pieceStart = 0;      // offset of the piece being parsed
  std::vector<size_t> lines;  // offset of each line's first byte
  Report *report = nullptr;
  bool lineIsComment = false;   // the current line's first piece was a comment
  bool commentStarted = false;  // a '#' has ended the parse earlier on the current line
  bool lineLost = false;        // an earlier piece of the current line was cut short of a record
  // What the current line has been told already: each at most once a line, so that the report
  // of a long line does not grow with its length.
  bool splitSaid = false;
  bool spillSaid = false;
  bool errorSaid = false;
  bool fullSaid = false;
  // Findings of each kind, so that a file of a million bad lines costs no more memory than one
  // of fifty: past the most, a kind is only counted.
  std::map<std::string, size_t> told;
  std::map<std::string, std::pair<Severity, size_t>> leftOut;
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

// The bytes of a line, without its line end.
std::string lineText(const Reading &r, int line) {
  const size_t from = r.lines[static_cast<size_t>(line) - 1];
  size_t to =
      static_cast<size_t>(line) < r.lines.size() ? r.lines[static_cast<size_t>(line)] : r.src.len;
  while (to > from && (r.src.data[to - 1] == '\n' || r.src.data[to - 1] == '\r')) --to;
  return std::string(r.src.data + from, r.src.data + to);
}

// Adds a finding at this offset; false when its kind has had its share and it is only counted.
bool add(Reading &r, size_t offset, Severity s, const std::string &code, const std::string &msg) {
  if (++r.told[code] > kMostOfAKind) {
    auto &left = r.leftOut[code];
    left.first = s;
    ++left.second;
    return false;
  }
  const int line = lineOf(r, offset);
  const size_t inLine = offset - r.lines[static_cast<size_t>(line) - 1];
  const SourceLine shown = sourceLine(lineText(r, line), inLine);
  r.report->findings.push_back(
      {line, static_cast<int>(inLine) + 1, s, code, msg, shown.text, shown.caret});
  return true;
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

// The text of a comment, from the byte after its '#', without surrounding blanks.
std::string commentText(const std::string &line, size_t hash) {
  size_t b = hash + 1;
  size_t e = line.size();
  while (b < e && (line[b] == ' ' || line[b] == '\t' || line[b] == '#')) ++b;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t' || line[e - 1] == '\r')) --e;
  return line.substr(b, e - b);
}

// The comment that says whom the record at this place is for: the one after it on its line.
std::string commentFor(const Reading &r, int line, size_t quoteInLine) {
  const std::string text = lineText(r, line);
  const size_t hash = text.find('#', quoteInLine + 1);
  return hash == std::string::npos ? "" : commentText(text, hash);
}

// The text of a comment line right above this line, or "".
std::string commentAbove(const Reading &r, int line) {
  if (line < 2) return "";
  const std::string above = lineText(r, line - 1);
  return comment(above.data(), above.size()) ? commentText(above, above.find('#')) : "";
}

// Accounts for a piece that gave a record.
void accountRecord(Reading &r, const char *piece, const Tolvane *rec, const TvWhy &why,
                   bool tableFull, bool spill) {
  const size_t start = r.pieceStart;
  const size_t len = r.src.pos - start;
  const int line = lineOf(r, start);
  const size_t inLine = start - r.lines[static_cast<size_t>(line) - 1];
  const bool inComment = r.lineIsComment || r.commentStarted;
  const auto slot = static_cast<int>(r.report->records.size() + r.report->ignored.size()) + 1;
  const std::string said = commentFor(r, line, inLine + why.at);
  Loaded loaded{slot, line, static_cast<int>(inLine) + 1, *rec, said, commentAbove(r, line)};
  if (std::memchr(piece + why.at, '#', len - why.at) != nullptr) r.commentStarted = true;
  if (spill && !tableFull && !r.spillSaid) {
    r.spillSaid = true;
    add(r, start, Severity::Error, "spill-record",
        std::string(inComment ? "this comment runs" : "the line runs") +
            " past the 62nd byte, and the plug-in reads the rest as a line of its own: it gives "
            "a record here (slot " +
            std::to_string(slot) + ", registration seed " + std::to_string(rec->rSeed) + ", " +
            dotted(rec->ipMin) + " to " + dotted(rec->ipMax) +
            "): end the line before it, or give the record a line of its own");
  }
  if (tableFull) {
    if (!r.fullSaid) {
      add(r, start, Severity::Error, "table-full",
          "ignored: the table already holds 32 records, and the plug-in reads no further (take "
          "a record out above, or this line)");
    }
    r.fullSaid = true;
    if (r.report->ignoredTotal++ < kMostOfAKind) r.report->ignored.push_back(loaded);
    return;
  }
  r.report->records.push_back(loaded);
  for (const Remark &m : recordRemarks(piece, len, why, *rec)) {
    // The rest of a long line starts mid-text, and its record is an error of its own already.
    if (spill && (m.code == "skipped-text" || m.code == "extra-group")) continue;
    add(r, start + m.at, m.error ? Severity::Error : Severity::Warning, m.code, m.message);
  }
}

// Accounts for one piece: its record and remarks, or why it gave none. A piece after the first
// of a line (a spill past the 62nd byte) is reported only when it gives a record, or when it
// holds text that is neither blank nor the rest of a comment or of a lost record.
void account(Reading &r, const char *piece, const Tolvane *rec, const TvWhy &why, bool tableFull) {
  const size_t start = r.pieceStart;
  const size_t len = r.src.pos - start;
  const bool lineStart = start == 0 || r.src.data[start - 1] == '\n';
  const bool cut = len == TV_READ_SIZE - 1 && piece[len - 1] != '\n';
  if (lineStart) {
    r.lineIsComment = comment(piece, len);
    r.commentStarted = false;
    r.lineLost = false;
    r.splitSaid = r.spillSaid = r.errorSaid = r.fullSaid = false;
  }
  if (why.end == TV_RECORD) {
    accountRecord(r, piece, rec, why, tableFull, !lineStart);
    return;
  }
  const bool quiet = blank(piece, len) || comment(piece, len) || r.lineIsComment ||
                     r.commentStarted || r.lineLost || r.errorSaid;
  if (why.end == TV_HASH) r.commentStarted = true;
  if (quiet || tableFull) return;
  if (!lineStart) {
    if (!r.splitSaid) {
      add(r, start, Severity::Error, "split",
          "the line runs past the 62nd byte, and the plug-in reads the rest as a line of its own "
          "that gives no record: this text is skipped (start a comment with '#' before the 62nd "
          "byte)");
    }
    r.splitSaid = true;
    return;
  }
  const Remark m = whyNoRecord(piece, len, why, cut);
  const int line = lineOf(r, start);
  if (add(r, start + m.at, Severity::Error, m.code, m.message))
    r.report->lost.push_back({line, m.message, lineText(r, line)});
  r.lineLost = cut;
  r.errorSaid = true;
}

void seen(void *ctx, const char *piece, const Tolvane *rec, const TvWhy *why) {
  account(*static_cast<Reading *>(ctx), piece, rec, *why, false);
}

// Records that can never recognise anyone: a repeat of an earlier record, or one that lies
// wholly inside an earlier record, which the plug-in tries first.
void shadowed(Reading &r) {
  const std::vector<Loaded> &recs = r.report->records;
  for (size_t j = 1; j < recs.size(); ++j) {
    const Tolvane &b = recs[j].rec;
    for (size_t i = 0; i < j; ++i) {
      const Tolvane &a = recs[i].rec;
      const bool same = sameRecord(a, b);
      if (!same && !covers(a, b)) continue;
      const std::string where =
          "line " + std::to_string(recs[i].line) + " (slot " + std::to_string(recs[i].slot) + ")";
      const size_t at =
          r.lines[static_cast<size_t>(recs[j].line) - 1] + static_cast<size_t>(recs[j].column) - 1;
      add(r, at, Severity::Warning, same ? "duplicate" : "shadowed",
          same ? "the same record as " + where + ": it never recognises anyone that one does not"
               : "every user this record admits is recognised first by " + where +
                     ": this record never counts");
      break;
    }
  }
}

// The records of `all` that `some` lacks, each once.
std::vector<const Loaded *> missingFrom(const std::vector<Loaded> &all,
                                        const std::vector<Loaded> &some) {
  std::vector<bool> used(some.size(), false);
  std::vector<const Loaded *> out;
  for (const Loaded &l : all) {
    bool found = false;
    for (size_t i = 0; i < some.size() && !found; ++i) {
      if (!used[i] && sameRecord(some[i].rec, l.rec)) used[i] = found = true;
    }
    if (!found) out.push_back(&l);
  }
  return out;
}

// Line ends the plug-in reads otherwise than an editor shows them: a carriage return alone (old
// Macintosh line ends) is no line end to the plug-in, so what follows it on the same line is
// never read; CR LF and LF alone mixed in one file are read alike, but are worth a word.
void lineEnds(Reading &r, const std::string &data) {
  size_t lf = 0, crlf = 0;
  std::vector<size_t> lone;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n') ++(i > 0 && data[i - 1] == '\r' ? crlf : lf);
    if (data[i] == '\r' && (i + 1 == data.size() || data[i + 1] != '\n')) lone.push_back(i);
  }
  Report &report = *r.report;
  if (lone.empty()) {
    if (lf > 0 && crlf > 0) {
      report.findings.push_back(
          {0, 0, Severity::Warning, "mixed-line-ends",
           "the file mixes line ends: " + std::to_string(crlf) + " line(s) end in CR LF, " +
               std::to_string(lf) +
               " in LF alone; the plug-in reads both alike, but save the file with one kind",
           "", 0});
    }
    return;
  }
  if (lf == 0 && crlf == 0) {
    std::string meant = data;
    for (size_t i : lone) meant[i] = '\n';
    const Report asMeant = checkList(report.file, meant);
    const std::vector<const Loaded *> lost = missingFrom(asMeant.records, report.records);
    std::string names;
    for (size_t i = 0; i < lost.size() && i < 5; ++i) {
      names += (i == 0 ? "" : ", ") + std::string("registration seed ") +
               std::to_string(lost[i]->rec.rSeed) +
               (lost[i]->comment.empty() ? "" : " (" + lost[i]->comment + ")");
    }
    if (lost.size() > 5) names += ", ...";
    report.findings.push_back(
        {0, 0, Severity::Error, "cr-line-ends",
         "the lines end in a carriage return alone (old Macintosh line ends): the plug-in reads "
         "the file as one line and loads " +
             std::to_string(report.records.size()) + " of the " +
             std::to_string(asMeant.records.size()) + " records written" +
             (names.empty() ? "" : "; lost: " + names) + " (convert with sed -i 's/\\r/\\n/g' " +
             report.file + ", or save the file with LF line ends)",
         "", 0});
    return;
  }
  for (size_t i : lone) {
    size_t end = i + 1;
    while (end < data.size() && data[end] != '\r' && data[end] != '\n') ++end;
    Tolvane rec;
    if (!recordOfLine(data.substr(i + 1, end - i - 1), rec)) continue;
    add(r, i + 1, Severity::Error, "lone-cr",
        "a carriage return alone is no line end to the plug-in: the record after it is never "
        "read (put a line break before it)");
  }
}

}  // namespace

const char *severityName(Severity s) {
  return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "note";
}

bool sameRecord(const Tolvane &a, const Tolvane &b) {
  return a.rSeed == b.rSeed && a.pSeed == b.pSeed && a.ipMin == b.ipMin && a.ipMax == b.ipMax;
}

bool covers(const Tolvane &a, const Tolvane &b) {
  return a.rSeed == b.rSeed && (a.pSeed == 0 || a.pSeed == b.pSeed) && a.ipMin <= b.ipMin &&
         b.ipMax <= a.ipMax;
}

bool recordOfLine(const std::string &line, Tolvane &rec) {
  const std::string piece = line.substr(0, TV_READ_SIZE - 1) + "\n";
  return tvParsePiece(piece.c_str(), &rec, nullptr);
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
  TvRead done = tvReadList(readPiece, &r, iBfr, recs, &nbrRecs, seen, &r);
  // What the plug-in never reads once its table is full, up to the same limits.
  for (int size; (size = tvNextReadSize(done)) > 0 && readPiece(iBfr, size, &r) != nullptr;) {
    tvCountPiece(&done, iBfr, size);
    Tolvane rec;
    TvWhy why;
    tvParsePiece(iBfr, &rec, &why);
    account(r, iBfr, &rec, why, true);
  }
  if (tvNextReadSize(done) == 0 && r.src.pos < data.size()) {
    const std::string limit =
        done.pieces < TV_READ_PIECES
            ? std::to_string(TV_READ_LIMIT) + " bytes"
            : std::to_string(TV_READ_PIECES) +
                  " lines (a line past the 62nd byte counts once for each 62)";
    add(r, r.src.pos, Severity::Error, "too-long",
        "the plug-in reads only the first " + limit + " of a list: from here on nothing is read");
  }
  shadowed(r);
  lineEnds(r, data);
  for (const auto &left : r.leftOut) {
    report.findings.push_back({0, 0, left.second.first, "left-out",
                               std::to_string(left.second.second) + " more '" + left.first +
                                   "' finding(s) left out: the first " +
                                   std::to_string(kMostOfAKind) + " are shown",
                               "", 0});
  }
  if (report.records.empty()) {
    report.findings.push_back({0, 0, Severity::Note, "no-records",
                               "the list gives no record: the plug-in will recognise nobody", "",
                               0});
  }
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding &a, const Finding &b) {
                     return a.line != b.line ? a.line < b.line : a.column < b.column;
                   });
  return report;
}

}  // namespace tl
