#include "content/revocation.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "content/grant-end.h"
#include "content/shown.h"
#include "content/text-out.h"

namespace tl {
namespace {

// Every record of the report, the loaded ones first, then those past the 32nd.
std::vector<const Loaded *> everyRecord(const Report &r) {
  std::vector<const Loaded *> all;
  for (const std::vector<Loaded> *t : {&r.records, &r.ignored}) {
    for (const Loaded &l : *t) all.push_back(&l);
  }
  return all;
}

// Whether the record has the person's seeds, at any address.
bool theirs(const Tolvane &rec, const Whom &w) {
  return rec.rSeed == w.rSeed && (w.anyPuid || rec.pSeed == 0 || rec.pSeed == w.pSeed);
}

// The text's characters, case folded as Unicode folds them (the C library's UTF-8 rules, in
// whatever locale the tool runs), a byte that is not UTF-8 kept as a character of its own.
std::u32string folded(const std::string &text) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    unsigned cp = static_cast<unsigned char>(text[i]);
    size_t n = cp >= 0x80 ? utf8At(text, i, cp) : 1;
    if (n == 0) n = 1;
    const auto wide = static_cast<wint_t>(cp);
    out += static_cast<char32_t>(utf8 != nullptr ? towlower_l(wide, utf8) : towlower(wide));
    i += n;
  }
  return out;
}

// The edit distance between two texts, counted in characters: how many to add, take out or
// change to make the one the other.
size_t distance(const std::u32string &a, const std::u32string &b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Whether a comment comes close to a note: the same but for case, a letter or two apart (one
// for a note of five characters or fewer), or starting with the note's words.
bool close(const std::string &comment, const std::string &note) {
  const std::u32string c = folded(comment), n = folded(note);
  if (c.empty() || n.empty()) return false;
  if (c == n) return true;
  const size_t most = n.size() <= 5 ? 1 : 2;
  if (n.size() >= 3 && distance(c, n) <= most) return true;
  if (c.size() <= n.size() || c.compare(0, n.size(), n) != 0) return false;
  const char32_t next = c[n.size()];
  return next == U' ' || next == U':' || next == U',' || next == U'.' || next == U';' ||
         next == U'-' || next == U'(' || next == U'\t';
}

// The comment of a line that holds nothing but one ("" otherwise), as a record's is read: the
// text after the '#', spaces at both ends left out.
std::string commentLine(const std::string &line, bool &is) {
  size_t b = line.find_first_not_of(" \t");
  is = b != std::string::npos && line[b] == '#';
  if (!is) return "";
  while (b < line.size() && (line[b] == '#' || line[b] == ' ' || line[b] == '\t')) ++b;
  size_t e = line.size();
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t' || line[e - 1] == '\r')) --e;
  return line.substr(b, e - b);
}

// The record nearest the line: the first one after it, else the last one before it.
const Loaded *nearest(const Report &r, int line) {
  const Loaded *before = nullptr, *after = nullptr;
  for (const Loaded *l : everyRecord(r)) {
    if (l->line >= line && (after == nullptr || l->line < after->line)) after = l;
    if (l->line < line && (before == nullptr || l->line > before->line)) before = l;
  }
  return after != nullptr ? after : before;
}

}  // namespace

bool recognisesSome(const Tolvane &rec, const Whom &w) {
  return theirs(rec, w) && rec.ipMin <= w.hi && w.lo <= rec.ipMax;
}

std::vector<const Loaded *> revoked(const Report &r, const Revocation &q) {
  std::vector<const Loaded *> out;
  for (const Loaded *l : everyRecord(r)) {
    if (q.bySeeds && !recognisesSome(l->rec, q.whom)) continue;
    // A grant's end is no part of whom the note names.
    if (q.byNote && l->comment != q.note && noteWithoutEnd(l->comment) != q.note) continue;
    out.push_back(l);
  }
  return out;
}

std::vector<Named> recognisedElsewhere(const Report &r, const Revocation &q) {
  std::vector<Named> out;
  if (!q.bySeeds || !q.ranged) return out;
  for (const Loaded &l : r.records) {
    if (theirs(l.rec, q.whom) && !recognisesSome(l.rec, q.whom)) out.push_back({l, ""});
  }
  return out;
}

std::vector<Named> stillRecognising(const Report &after, const Revocation &q,
                                    const std::vector<Tolvane> &taken) {
  std::vector<Whom> named;
  if (q.bySeeds) named.push_back(q.whom);
  for (const Tolvane &t : taken) {
    if (!q.bySeeds) named.push_back({t.rSeed, t.pSeed, t.pSeed == 0, t.ipMin, t.ipMax});
  }
  std::vector<Named> out;
  for (const Loaded &l : after.records) {
    for (const Whom &w : named) {
      if (!recognisesSome(l.rec, w)) continue;
      out.push_back({l, "recognises whom the revocation names"});
      break;
    }
  }
  return out;
}

std::vector<CloseComment> closeComments(const std::string &bytes, const Report &r,
                                        const std::string &note) {
  std::vector<CloseComment> out;
  // A record's own comment.
  for (const Loaded *l : everyRecord(r)) {
    if (l->comment != note && close(l->comment, note))
      out.push_back({l->line, l->comment, true, l});
  }
  // A line that holds nothing but a comment, wherever it is.
  int number = 0;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    ++number;
    bool is = false;
    const std::string text = commentLine(bytes.substr(at, end - at), is);
    if (is && close(text, note)) out.push_back({number, text, false, nearest(r, number)});
    at = end + 1;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const CloseComment &a, const CloseComment &b) { return a.line < b.line; });
  return out;
}

std::vector<const TableChange *> unasked(const std::vector<TableChange> &changes,
                                         const std::vector<Tolvane> &named, bool adding) {
  std::vector<bool> used(named.size(), false);
  std::vector<const TableChange *> out;
  for (const TableChange &c : changes) {
    const bool wanted = c.kind == (adding ? TableChange::Added : TableChange::Removed);
    const Loaded *l = adding ? c.after : c.before;
    bool asked = false;
    for (size_t i = 0; wanted && !asked && i < named.size(); ++i) {
      if (used[i] || !sameRecord(named[i], l->rec)) continue;
      used[i] = true;
      asked = true;
    }
    if (!asked) out.push_back(&c);
  }
  return out;
}

std::string describeNamed(const std::vector<Named> &named) {
  std::string s;
  for (const Named &n : named) {
    s += (s.empty() ? "" : "; ") + std::string("line ") + std::to_string(n.record.line) +
         " (slot " + std::to_string(n.record.slot) + ": " + describeRecord(n.record, " # ") +
         (n.reason.empty() ? "" : ": " + n.reason) + ")";
  }
  return s;
}

std::string shellWord(const std::string &word) {
  if (!word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789_./+-:,@%=") == std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string removeCommand(const std::string &file, const std::vector<int> &lines) {
  std::string s = "tolvane-list remove " + shellWord(file);
  for (int n : lines) s += " " + std::to_string(n);
  return s;
}

}  // namespace tl
