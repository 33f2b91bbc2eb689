#include "content/revocation.h"

#include <cctype>

#include "content/text-out.h"

namespace tl {
namespace {

// Whether the record recognises some user whom `w` names: the same registration seed, a PUID
// seed that admits one of theirs, and a range that meets theirs.
bool recognisesSome(const Tolvane &rec, const Whom &w) {
  return rec.rSeed == w.rSeed && (rec.pSeed == 0 || w.pSeed == 0 || rec.pSeed == w.pSeed) &&
         rec.ipMin <= w.hi && w.lo <= rec.ipMax;
}

// Whether the record has the seeds of `w` (as recognisesSome takes them), at any address.
bool sameSeeds(const Tolvane &rec, const Whom &w) {
  return rec.rSeed == w.rSeed && (rec.pSeed == 0 || w.pSeed == 0 || rec.pSeed == w.pSeed);
}

// The words of a note: its runs of letters and digits, lower-case (bytes outside ASCII count as
// letters, so a name in UTF-8 stays one word).
std::vector<std::string> wordsOf(const std::string &text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || std::isalnum(u) != 0) {
      word += static_cast<char>(std::tolower(u));
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// Whether `part` stands in `whole` word for word, one after another.
bool holds(const std::vector<std::string> &whole, const std::vector<std::string> &part) {
  if (part.empty() || part.size() > whole.size()) return false;
  for (size_t at = 0; at + part.size() <= whole.size(); ++at) {
    bool all = true;
    for (size_t i = 0; i < part.size() && all; ++i) all = whole[at + i] == part[i];
    if (all) return true;
  }
  return false;
}

// Whether a comment comes close to the note: the same words, or the one's words in the other.
bool closeNote(const std::string &comment, const std::string &note) {
  const std::vector<std::string> c = wordsOf(comment), n = wordsOf(note);
  return holds(c, n) || holds(n, c);
}

// Every record of the report, the loaded ones first, then those past the 32nd.
std::vector<const Loaded *> everyRecord(const Report &r) {
  std::vector<const Loaded *> all;
  for (const std::vector<Loaded> *t : {&r.records, &r.ignored}) {
    for (const Loaded &l : *t) all.push_back(&l);
  }
  return all;
}

// Whether the record is one the revocation asks for, its note aside.
bool asked(const Loaded &l, const Revocation &q) {
  switch (q.by) {
    case Revocation::Values:
      return sameRecord(l.rec, Tolvane{q.whom.rSeed, q.whom.pSeed, q.whom.lo, q.whom.hi});
    case Revocation::User:
      return recognisesSome(l.rec, q.whom);  // lo == hi: admits the user
    case Revocation::NoteOnly:
      break;
  }
  return true;
}

// A shell word for the path: as it is when it holds nothing a shell reads, else quoted.
std::string shellWord(const std::string &word) {
  if (!word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789_./+-:,@%=") == std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::vector<const Loaded *> revoked(const Report &r, const Revocation &q) {
  std::vector<const Loaded *> out;
  for (const Loaded *l : everyRecord(r)) {
    if (asked(*l, q) && (!q.byNote || l->comment == q.note)) out.push_back(l);
  }
  return out;
}

std::vector<Left> stillRecognising(const Report &after, const Revocation &q,
                                   const std::vector<Tolvane> &taken) {
  std::vector<Whom> named;
  if (q.by != Revocation::NoteOnly) named.push_back(q.whom);
  for (const Tolvane &t : taken) {
    if (q.by == Revocation::NoteOnly) named.push_back({t.rSeed, t.pSeed, t.ipMin, t.ipMax});
  }
  std::vector<Left> out;
  for (const Loaded &l : after.records) {
    for (const Whom &w : named) {
      if (!recognisesSome(l.rec, w)) continue;
      out.push_back({l, true, "recognises whom the revocation names"});
      break;
    }
  }
  return out;
}

std::vector<Left> cameClose(const Report &r, const Revocation &q) {
  std::vector<Left> out;
  for (const Loaded *l : everyRecord(r)) {
    const bool loaded = l->slot <= TV_NBR_RECS;
    if (q.by != Revocation::NoteOnly && loaded && recognisesSome(l->rec, q.whom)) {
      out.push_back({*l, true, "recognises whom the revocation names"});
    } else if (q.by != Revocation::NoteOnly && sameSeeds(l->rec, q.whom)) {
      out.push_back({*l, false, "the same seeds at another address"});
    } else if (q.byNote && l->comment != q.note && closeNote(l->comment, q.note)) {
      out.push_back({*l, false, "a comment close to '" + q.note + "'"});
    } else if (q.byNote && closeNote(l->commentAbove, q.note)) {
      out.push_back(
          {*l, false, "the comment line above it, '" + l->commentAbove + "', is no record's note"});
    }
  }
  return out;
}

std::string describeLeft(const std::vector<Left> &left) {
  std::string s;
  for (const Left &l : left) {
    s += (s.empty() ? "" : "; ") + std::string("line ") + std::to_string(l.record.line) +
         " (slot " + std::to_string(l.record.slot) + ": " + describeRecord(l.record, " # ") +
         (l.recognises ? "" : ": " + l.reason) + ")";
  }
  return s;
}

std::string removeCommand(const std::string &file, const std::vector<int> &lines) {
  std::string s = "tolvane-list remove " + shellWord(file);
  for (int n : lines) s += " " + std::to_string(n);
  return s;
}

}  // namespace tl
