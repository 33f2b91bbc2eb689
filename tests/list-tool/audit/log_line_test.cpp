// A log line that cannot be forged or turned around. Comments and list names written to imitate
// the line's own structure (parentheses, semicolons, "+ line"/"- line" text, quotes, escapes) or
// to reorder how it displays (every character that sets the direction of text) go through add,
// remove, edit and undo; each line the tool logs is read back by a strict reader of its grammar
// and must give exactly the records that changed, as `diff --json` of the list's previous
// version and the list gives them, with the list's real path; and no raw direction character
// reaches the log or the terminal. A long comment is cut, with the count of bytes left out, and a
// change of many records summed up, naming its entry in the journal; the line stays within its
// bound. The log is caught at a private /dev/log (private-log.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "build-paths.h"
#include "file-bytes.h"
#include "launch.h"
#include "private-log.h"

// The most a line's text takes, the priority before it not counted (content/log-line.h).
constexpr size_t kLogTextMost = 2000;

namespace {

const std::string kTool = launched(TOLVANE_LIST);

// Every character that sets or marks the direction of text.
const unsigned kDirections[] = {0x200E, 0x200F, 0x061C, 0x202A, 0x202B, 0x202C,
                                0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069};

// The character in UTF-8 (two or three bytes: all of them lie below U+10000). Made at run time,
// so that no such character stands in the source.
std::string utf8(unsigned cp) {
  if (cp < 0x800) return {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
  return {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
          static_cast<char>(0x80 | (cp & 0x3F))};
}

// One record of a change as the log line gives it, or as diff --json gives it.
struct Record {
  char kind = '?';  // '+', '-', '~'
  int line = 0, slot = 0, wasLine = 0, wasSlot = 0;
  uint64_t rSeed = 0;
  std::string pSeed, from, to, comment;
  size_t cut = 0;  // the bytes of the comment the line left out
  // Whether this record, as the log line gives it, is `full` as diff --json gives it: the same,
  // but for a comment cut short, which is the start of the whole and says how much is left out.
  bool agrees(const Record &full) const {
    const bool commentAgrees = cut == 0 ? comment == full.comment
                                        : full.comment.compare(0, comment.size(), comment) == 0 &&
                                              comment.size() + cut == full.comment.size();
    return kind == full.kind && line == full.line && slot == full.slot && wasLine == full.wasLine &&
           wasSlot == full.wasSlot && rSeed == full.rSeed && pSeed == full.pSeed &&
           from == full.from && to == full.to && full.cut == 0 && commentAgrees;
  }
};

std::ostream &operator<<(std::ostream &out, const Record &r) {
  return out << r.kind << " line " << r.line << " slot " << r.slot << " (was " << r.wasLine << "/"
             << r.wasSlot << ") " << r.rSeed << " " << r.pSeed << " " << r.from << "-" << r.to
             << " #[" << r.comment << "] cut " << r.cut;
}

// What a log line says.
struct LogLine {
  std::string list, verb, who, outcome;  // outcome: "installed" or "refused"
  std::vector<Record> records;
  size_t more = 0;        // the changes summed up, not written out
  std::string journalId;  // the change in the journal that names them
};

// A strict reader of the log line: "<PRI>" QUOTED ": " VERB " by " WHO ": " then "installed: "
// CHANGES or "refused: " QUOTED " [" CODE "]"; CHANGES is "comments and layout only, the same
// table", or CHANGE ("; " CHANGE)* with "; " SUM after them or not, or SUM alone; a SUM is "and N
// more (change ID in the journal)"; a CHANGE is "+ line N slot N (RECORD)", "- line N slot N
// (RECORD)" or "~ line N slot N, was line N slot N (RECORD)"; a RECORD is "registration seed N,
// PUID seed N|any, A.B.C.D to A.B.C.D" and " # " QUOTED when it has a comment; a QUOTED is text
// in double quotes, holding no double quote and no backslash but in an escape \xHH, and " (cut:
// N more bytes)" after the closing quote when it is cut short.
class Reader {
 public:
  explicit Reader(std::string text) : s_(std::move(text)) {}
  bool at(const std::string &word) const { return s_.compare(i_, word.size(), word) == 0; }
  bool take(const std::string &word) {
    if (!at(word)) return fail("'" + word + "'");
    i_ += word.size();
    return true;
  }
  bool number(uint64_t &n) {
    const size_t from = i_;
    n = 0;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9')
      n = n * 10 + static_cast<uint64_t>(s_[i_++] - '0');
    return i_ > from || fail("a number");
  }
  bool number(int &n) {
    uint64_t v = 0;
    if (!number(v)) return false;
    n = static_cast<int>(v);
    return true;
  }
  bool address(std::string &a) {
    const size_t from = i_;
    for (int octet = 0; octet < 4; ++octet) {
      uint64_t n = 0;
      if ((octet > 0 && !take(".")) || !number(n) || n > 255) return fail("an address");
    }
    a = s_.substr(from, i_ - from);
    return true;
  }
  // A quoted piece, its escapes undone.
  bool quoted(std::string &text) {
    if (!take("\"")) return false;
    text.clear();
    for (;;) {
      if (i_ >= s_.size()) return fail("a closing quote");
      const char c = s_[i_];
      if (c == '"') break;
      if (c != '\\') {
        text += c;
        ++i_;
        continue;
      }
      if (i_ + 4 > s_.size() || s_[i_ + 1] != 'x' || !isxdigit(s_[i_ + 2]) || !isxdigit(s_[i_ + 3]))
        return fail("an escape \\xHH");
      text += static_cast<char>(std::stoi(s_.substr(i_ + 2, 2), nullptr, 16));
      i_ += 4;
    }
    ++i_;
    return true;
  }
  // A quoted piece, and the count of bytes left out when it was cut short (0 when it was not).
  bool quotedCut(std::string &text, size_t &cut) {
    cut = 0;
    if (!quoted(text)) return false;
    if (!at(" (cut: ")) return true;
    uint64_t n = 0;
    if (!take(" (cut: ") || !number(n) || !take(" more bytes)")) return false;
    cut = static_cast<size_t>(n);
    return cut > 0 || fail("a count of bytes left out above 0");
  }
  // The text up to `end`, which is taken too.
  bool upTo(const std::string &end, std::string &text) {
    const size_t at = s_.find(end, i_);
    if (at == std::string::npos) return fail("'" + end + "'");
    text = s_.substr(i_, at - i_);
    i_ = at + end.size();
    return true;
  }
  bool ended() { return i_ == s_.size() || fail("the end of the line"); }
  const std::string &why() const { return why_; }

 private:
  bool fail(const std::string &wanted) {
    if (why_.empty()) why_ = "at byte " + std::to_string(i_) + ": " + wanted + " expected";
    return false;
  }
  std::string s_;
  size_t i_ = 0;
  std::string why_;
};

bool readRecord(Reader &r, Record &rec) {
  if (!r.take("(registration seed ") || !r.number(rec.rSeed) || !r.take(", PUID seed "))
    return false;
  if (r.at("any")) {
    r.take("any");
    rec.pSeed = "any";
  } else {
    uint64_t p = 0;
    if (!r.number(p)) return false;
    rec.pSeed = std::to_string(p);
  }
  if (!r.take(", ") || !r.address(rec.from) || !r.take(" to ") || !r.address(rec.to)) return false;
  if (r.at(" # ") && (!r.take(" # ") || !r.quotedCut(rec.comment, rec.cut))) return false;
  return r.take(")");
}

bool readChange(Reader &r, Record &rec) {
  for (const char kind : {'+', '-', '~'}) {
    if (!r.at(std::string(1, kind) + " line ")) continue;
    rec.kind = kind;
    r.take(std::string(1, kind) + " line ");
    if (!r.number(rec.line) || !r.take(" slot ") || !r.number(rec.slot)) return false;
    if (kind == '~' && (!r.take(", was line ") || !r.number(rec.wasLine) || !r.take(" slot ") ||
                        !r.number(rec.wasSlot)))
      return false;
    return r.take(" ") && readRecord(r, rec);
  }
  return r.take("+, - or ~");
}

// The sum of the changes not written out: "and N more (change ID in the journal)".
bool readSum(Reader &r, LogLine &out) {
  uint64_t more = 0;
  if (!r.take("and ") || !r.number(more) || !r.take(" more (change ") ||
      !r.upTo(" in the journal)", out.journalId))
    return false;
  out.more = static_cast<size_t>(more);
  return out.more > 0 && !out.journalId.empty();
}

bool readLogLine(const std::string &line, LogLine &out, std::string &why) {
  Reader r(line);
  size_t listCut = 0;
  bool ok = r.take("<85>") && r.quotedCut(out.list, listCut) && r.take(": ");
  for (const char *verb : {"add", "remove", "edit", "undo"}) {
    if (ok && out.verb.empty() && r.at(std::string(verb) + " by ")) {
      out.verb = verb;
      r.take(out.verb + " by ");
    }
  }
  ok = ok && !out.verb.empty() && r.upTo(": ", out.who);
  if (ok && r.at("refused: ")) {
    std::string message, code;
    size_t cut = 0;
    out.outcome = "refused";
    ok = r.take("refused: ") && r.quotedCut(message, cut) && r.take(" [") && r.upTo("]", code);
  } else if (ok) {
    out.outcome = "installed";
    ok = r.take("installed: ");
    if (ok && r.at("comments and layout only, the same table")) {
      r.take("comments and layout only, the same table");
    } else if (ok && r.at("and ")) {
      ok = readSum(r, out);
    } else {
      for (bool first = true; ok && (first || r.at("; ")); first = false) {
        if (!first && r.at("; and ")) {
          ok = r.take("; ") && readSum(r, out);
          break;
        }
        Record rec;
        ok = (first || r.take("; ")) && readChange(r, rec);
        out.records.push_back(rec);
      }
    }
  }
  ok = ok && r.ended();
  why = r.why();
  return ok;
}

// A record of diff --json's changes, as the log gives it.
Record fromJson(const nlohmann::json &change) {
  Record r;
  const std::string kind = change["kind"];
  const nlohmann::json &rec = kind == "removed" ? change["before"] : change["after"];
  r.kind = kind == "added" ? '+' : kind == "removed" ? '-' : '~';
  r.line = rec["line"];
  r.slot = rec["slot"];
  if (kind == "moved") {
    r.wasLine = change["before"]["line"];
    r.wasSlot = change["before"]["slot"];
  }
  r.rSeed = rec["rSeed"];
  const uint64_t p = rec["pSeed"];
  r.pSeed = p == 0 ? "any" : std::to_string(p);
  r.from = rec["ipMin"];
  r.to = rec["ipMax"];
  r.comment = rec["comment"];
  return r;
}

// The first raw direction character in `text`, or "" when there is none.
std::string rawDirection(const std::string &text) {
  for (const unsigned d : kDirections) {
    if (text.find(utf8(d)) != std::string::npos) return utf8(d);
  }
  return "";
}

// A folder of the test's own; removed at the end.
struct Folder {
  std::string dir;
  Folder() {
    char name[] = "/tmp/tolvane-log-line-XXXXXX";
    dir = mkdtemp(name) != nullptr ? name : "";
  }
  ~Folder() { std::system(("rm -rf '" + dir + "'").c_str()); }  // NOLINT(cert-env33-c)
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
  void put(const std::string &name, const std::string &bytes) const {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
};

struct Hostile {
  std::string what;
  std::string name;     // the list's file name
  std::string comment;  // every record's comment, with the record's number put after it
  size_t records = 3;   // how many records the list has
};

// A comment longer than a line shows, of every kind of character a comment may hold.
std::string longComment() {
  std::string c;
  while (c.size() < 600)
    c += "Kay \"ops\" \\ \xC3\xA9 \xE4\xB8\xAD ; ) + line 9 " + utf8(0x202E) + " ";
  return c;
}

std::vector<Hostile> hostileCases() {
  std::vector<Hostile> cases = {
      {"a comment that closes the record and logs a removal of Ada",
       "a); - line 15 slot 1 (registration seed 53, PUID seed any.list",
       "Kay); - line 15 slot 1 (registration seed 53, PUID seed any, 10.1.0.0 to "
       "10.1.255.255 # Ada"},
      {"quotes, semicolons and an addition", "b\"; + line 2 slot 2 (\".list",
       "x\" ); + line 99 slot 9 (registration seed 1, PUID seed any, 1.1.1.1 to 1.1.1.1 # \"y"},
      {"the line's own start", "c: add by root: installed: + line 3.list",
       "\"/etc/tolvane/admins.list\": remove by root: installed: - line 1 slot 1 (x)"},
      {"escapes typed as text", "d\\x22e\\x0A.list", "\\x22); - line 4 slot 1 (\\x5C\\"},
      {"semicolons alone", "e;f;g.list", "a; b; c; - line 1 slot 1"},
  };
  int n = 0;
  for (const unsigned d : kDirections) {
    const std::string k = std::to_string(++n);
    cases.push_back({"direction character " + k, utf8(d) + "list" + k + ".list",
                     "Kay" + utf8(d) + ")1 tols 51 enil - ;("});
  }
  // Comments cut short, and changes too many for the line, summed up.
  cases.push_back({"long comments, cut", "long.list", longComment()});
  cases.push_back({"many records, summed up", "many.list", "a; b; c; - line 1 slot 1", 28});
  cases.push_back({"many records with long comments", "many-long.list", longComment(), 28});
  return cases;
}

// Record k of a list: the first three of their own seeds, each at an address of its own, with
// the hostile comment and its number.
std::string recordLine(size_t k, const std::string &comment) {
  const char *const seeds[] = {"{FA}", "{GA}", "{HA}"};
  return std::string(k <= 3 ? seeds[k - 1] : "{FA}") + " {} \"10." + std::to_string(k) +
         ".*.*\"   # " + comment + " " + std::to_string(k) + "\n";
}

// The list of `n` records; `lastFirst`: its last record put first.
std::string records(size_t n, const std::string &comment, bool lastFirst) {
  std::string list = lastFirst ? recordLine(n, comment) : "";
  for (size_t k = 1; k <= n; ++k) {
    if (!lastFirst || k < n) list += recordLine(k, comment);
  }
  return list;
}

// The id of the journal's last install entry.
std::string lastInstall(const std::string &journal) {
  std::ifstream in(journal, std::ios::binary);
  std::string id;
  for (std::string l; std::getline(in, l);) {
    const nlohmann::json e = nlohmann::json::parse(l, nullptr, false);
    if (e.is_object() && e.value("kind", "") == "install") id = e.value("id", "");
  }
  return id;
}

TEST(LogLine, HostileCommentsAndNamesParseBackIntoExactlyTheRecordsThatChanged) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  for (const Hostile &h : hostileCases()) {
    SCOPED_TRACE(h.what);
    Folder f;
    const std::string list = f.dir + "/" + h.name;
    f.put(h.name, records(h.records, h.comment, false));
    f.put("name", h.name);
    f.put("note", h.comment + " " + std::to_string(h.records + 1));
    // The editor puts the last record first: every record moves.
    f.put("edited", records(h.records, h.comment, true));
    f.put("editor.sh", "#!/bin/sh\ncat '" + f.dir + "/edited' >\"$1\"\n");
    chmod((f.dir + "/editor.sh").c_str(), 0755);
    const std::string at = "cd '" + f.dir + "' && ";
    const std::string name = "\"$(cat name)\"";
    const struct {
      std::string step;
      std::string command;
      size_t changed;
    } steps[] = {
        {"add",
         at + kTool + " add " + name + " --rseed 366 --addr '172.16.*.*' --note \"$(cat note)\"",
         1},
        {"remove", at + kTool + " remove " + name + " --note \"$(cat note)\"", 1},
        {"edit", at + "EDITOR='" + f.dir + "/editor.sh' " + kTool + " edit " + name, h.records},
        {"undo", at + kTool + " undo " + name, h.records},
        {"redo", at + kTool + " undo " + name, h.records},
    };
    for (const auto &s : steps) {
      SCOPED_TRACE(s.step);
      const Logged r = logged(s.command);
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(rawDirection(r.output), "") << "on the terminal: " << r.output;
      ASSERT_EQ(r.log.size(), 1u) << r.output;
      EXPECT_EQ(rawDirection(r.log[0]), "") << "in the log: " << r.log[0];
      EXPECT_LE(r.log[0].size() - std::string("<85>").size(), kLogTextMost) << r.log[0];
      LogLine line;
      std::string why;
      ASSERT_TRUE(readLogLine(r.log[0], line, why)) << why << "\n" << r.log[0];
      EXPECT_EQ(line.list, list);
      EXPECT_EQ(line.verb, s.step == "redo" ? "undo" : s.step);
      EXPECT_EQ(line.who, "root");
      EXPECT_EQ(line.outcome, "installed");
      // What changed, as diff has it between the previous version and the list.
      const Logged d = logged(at + kTool + " diff --json " + name + "- " + name);
      const nlohmann::json doc = nlohmann::json::parse(d.output, nullptr, false);
      ASSERT_TRUE(doc.is_object()) << d.output;
      std::vector<Record> changed;
      for (const nlohmann::json &c : doc["changes"]) changed.push_back(fromJson(c));
      EXPECT_EQ(changed.size(), s.changed) << d.output;
      // The records written out are the first that changed, each as diff has it, the rest
      // summed up under this change's id in the journal; a comment too long for the line is
      // cut short, saying how much of it is left out.
      ASSERT_EQ(line.records.size() + line.more, changed.size()) << r.log[0];
      for (size_t i = 0; i < line.records.size(); ++i) {
        EXPECT_TRUE(line.records[i].agrees(changed[i]))
            << line.records[i] << "\nas diff has it: " << changed[i];
        EXPECT_EQ(line.records[i].cut > 0, h.comment.size() > 96) << line.records[i];
      }
      EXPECT_EQ(line.more > 0, s.changed > 3) << r.log[0];
      if (line.more > 0) {
        EXPECT_EQ(line.journalId, lastInstall(f.dir + "/." + h.name + ".journal"));
      }
    }
  }
}

// The reader itself refuses what a forged line would need: a second change hidden in a comment
// that is not quoted, an unclosed quote, a raw backslash.
TEST(LogLine, TheReaderRefusesLinesThatAreNotTheToolsOwn) {
  const std::string head =
      "<85>\"/l\": add by root: installed: + line 1 slot 1 (registration "
      "seed 1, PUID seed any, 1.1.1.1 to 1.1.1.1";
  LogLine line;
  std::string why;
  EXPECT_TRUE(readLogLine(head + " # \"Kay\")", line, why)) << why;
  EXPECT_EQ(line.records.size(), 1u);
  // A comment cut short, and changes summed up after one written out, or alone.
  LogLine cut;
  EXPECT_TRUE(readLogLine(head + " # \"Ka\" (cut: 7 more bytes)); and 27 more (change "
                                 "20261211T071351Z-hCndOh in the journal)",
                          cut, why))
      << why;
  ASSERT_EQ(cut.records.size(), 1u);
  EXPECT_EQ(cut.records[0].comment, "Ka");
  EXPECT_EQ(cut.records[0].cut, 7u);
  EXPECT_EQ(cut.more, 27u);
  EXPECT_EQ(cut.journalId, "20261211T071351Z-hCndOh");
  LogLine alone;
  EXPECT_TRUE(readLogLine(
      "<85>\"/l\": edit by root: installed: and 3 more (change X in the journal)", alone, why))
      << why;
  EXPECT_EQ(alone.records.size(), 0u);
  EXPECT_EQ(alone.more, 3u);
  for (const std::string &forged : {
           head + " # Kay); - line 15 slot 1 (registration seed 53, PUID seed any, 10.1.0.0 to "
                  "10.1.255.255 # Ada)",
           head + " # \"Kay)",
           head + " # \"K\\ay\")",
           head + ")\n",
           head + " # \"Kay\" (cut: 0 more bytes))",
           head + " # \"Kay\" (cut: some more bytes))",
           head + " # \"Kay (cut: 3 more bytes)\")x",
           head + "); and 0 more (change X in the journal)",
           head + "); and 2 more (change  in the journal)",
           head + "); and 2 more (change X in the journal); + line 2 slot 2 (registration seed "
                  "1, PUID seed any, 1.1.1.2 to 1.1.1.2)",
       }) {
    LogLine l;
    EXPECT_FALSE(readLogLine(forged, l, why)) << forged;
  }
}

}  // namespace
