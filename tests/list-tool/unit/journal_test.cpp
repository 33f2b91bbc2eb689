// The journal's pure logic: entries to lines and back (and the lines refused), what a sequence
// of entries says now, what a rotated journal carries over, how far a change cut short got, the
// history a journal tells, and a record's comment as the journal keeps it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "content/cut-short.h"
#include "content/history.h"
#include "content/journal-state.h"
#include "content/journal.h"

namespace {

using tl::CopyKept;
using tl::CutShort;
using tl::CutShortFound;
using tl::FileFound;
using tl::HistoryItem;
using tl::JournalEntry;
using tl::JournalState;
using tl::KeptChange;
using tl::KeptRecord;

// Digests of the versions a case names: the list read, what a change installs, FILE- when it
// began, a hand's edit, a file written in part, the operator's copy.
const std::string kRead(64, 'a'), kNew(64, 'b'), kOlder(64, 'c'), kHand(64, 'd'), kPart(64, 'e'),
    kEdited(64, 'f');
const std::string kNext = ".admins.list.Ab3dEf", kPrev = ".admins.list-.Ab3dEf";
const std::string kKept = "/srv/admins.list-";

// Times a second apart from 2026-01-02T03:04:05Z.
time_t at(int second) {
  return 1767323045 + second;
}

KeptRecord record(int slot, int line, unsigned seed, const std::string &comment) {
  KeptRecord k;
  k.slot = slot;
  k.line = line;
  k.rec = {seed, 83, 0x0A010000u, 0x0A01FFFFu};
  k.comment = comment;
  return k;
}

CopyKept besideCopy(const std::string &name) {
  return {"/srv/" + name, 0, true, name};
}

JournalEntry entry(JournalEntry::Kind kind, const std::string &id, int second) {
  JournalEntry e;
  e.kind = kind;
  e.id = id;
  e.at = at(second);
  return e;
}

JournalEntry start(const std::string &id, int second, const std::string &read,
                   const CopyKept &copy = {}) {
  JournalEntry e = entry(JournalEntry::Start, id, second);
  e.verb = "edit";
  e.by = {"root", 0, "", 0};
  e.list = "/srv/admins.list";
  e.read = read;
  e.copy = copy;
  return e;
}

// An install entry of change `id`: it read `read`, installs `installs`, FILE- was `previous`.
JournalEntry install(const std::string &id, int second, const std::string &read,
                     const std::string &installs, const std::string &previous = kOlder) {
  JournalEntry e = entry(JournalEntry::Install, id, second);
  e.verb = "add";
  e.by = {"root", 0, "", 0};
  e.list = "/srv/admins.list";
  e.read = read;
  e.install = installs;
  e.previous = previous;
  e.files = {kNext};
  if (!read.empty()) e.files.push_back(kPrev);
  e.line = {"\"/srv/admins.list\": add by root", "installed: + line 20 (" + id + ")"};
  e.table = {record(1, 15, 53, installs.substr(0, 1))};
  return e;
}

JournalEntry end(const std::string &id, int second, const std::string &result, bool logged = true,
                 const CopyKept &kept = {}) {
  JournalEntry e = entry(JournalEntry::End, id, second);
  e.result = result;
  e.logged = logged;
  if (!logged) {
    e.notLogged = "no system log";
    e.line = {"\"/srv/admins.list\": add by root", "installed: (" + id + ")"};
  }
  e.kept = kept;
  return e;
}

JournalEntry repair(const std::string &id, int second, const std::string &result,
                    const std::string &writer, bool logged = true, const CopyKept &kept = {}) {
  JournalEntry e = end(id, second, result, logged, kept);
  e.kind = JournalEntry::Repair;
  e.writer = writer;
  e.why = "cut short before it installed anything: nothing was installed";
  e.line = {"\"/srv/admins.list\": add by root", "repaired (" + id + ")"};
  return e;
}

JournalEntry outside(const std::string &id, int second, const std::string &before,
                     const std::string &after, const std::string &writer, bool logged = true) {
  JournalEntry e = entry(JournalEntry::Outside, id, second);
  e.verb = "remove";
  e.by = {"root", 0, "", 0};
  e.before = before;
  e.after = after;
  e.writer = writer;
  e.logged = logged;
  if (!logged) e.notLogged = "no system log";
  e.line = {"\"/srv/admins.list\": remove by root", "found an outside change (" + id + ")"};
  e.table = {record(1, 15, 99, "by hand")};
  e.changes = {{KeptChange::Added, record(1, 15, 99, "by hand"), 0, 0}};
  return e;
}

JournalEntry loggedLate(const std::string &id, int second, const std::string &writer) {
  JournalEntry e = entry(JournalEntry::Logged, id, second);
  e.writer = writer;
  return e;
}

JournalEntry state(int second, const std::vector<JournalEntry> &carried) {
  JournalEntry e = entry(JournalEntry::State, "", second);
  e.carried = carried;
  return e;
}

// Every field of an entry, as text, to compare two entries whole.
std::string fieldsOf(const JournalEntry &e);

std::string fieldsOf(const KeptRecord &k) {
  std::ostringstream s;
  s << "{" << k.slot << " " << k.line << " " << k.rec.rSeed << " " << k.rec.pSeed << " "
    << k.rec.ipMin << " " << k.rec.ipMax << " [" << k.comment << "] " << k.cut << "}";
  return s.str();
}

std::string fieldsOf(const CopyKept &c) {
  return "{" + c.path + " " + std::to_string(c.owner) + " " + (c.beside ? "beside " : "private ") +
         c.name + "}";
}

std::string fieldsOf(const JournalEntry &e) {
  std::ostringstream s;
  s << e.kind << " id=" << e.id << " at=" << e.at << " verb=" << e.verb << " by=" << e.by.account
    << "/" << e.by.uid << "/" << e.by.sudoUser << "/" << e.by.sudoUid << " list=" << e.list
    << " read=" << e.read << " copy=" << fieldsOf(e.copy) << " install=" << e.install
    << " previous=" << e.previous << " files=";
  for (const std::string &f : e.files) s << f << ",";
  s << " line=" << e.line.head << "|" << e.line.what << " changes=";
  for (const KeptChange &c : e.changes)
    s << c.kind << fieldsOf(c.record) << c.wasLine << "/" << c.wasSlot << ",";
  s << " table=";
  for (const KeptRecord &k : e.table) s << fieldsOf(k) << ",";
  s << " despite=" << e.despite << " result=" << e.result << " why=" << e.why
    << " logged=" << e.logged << " notLogged=" << e.notLogged << " kept=" << fieldsOf(e.kept)
    << " writer=" << e.writer << " before=" << e.before << " after=" << e.after << " carried=[";
  for (const JournalEntry &c : e.carried) s << fieldsOf(c) << ";";
  s << "]";
  return s.str();
}

// One entry of each kind, every member it writes filled in, some with text JSON must escape.
std::vector<JournalEntry> everyKind() {
  JournalEntry s = start("20260102T030405Z-Ab3dEf", 0, kRead, {"/var/tmp/e/l", 1000, false, ""});
  s.by = {"root", 0, "alice", 4294967294u};
  JournalEntry i = install("20260102T030405Z-Ab3dEf", 1, kRead, kNew);
  i.verb = "edit";
  i.by = s.by;
  i.copy = besideCopy(".admins.list.edit.Xy12Zw");
  i.despite = "1 new error";
  KeptRecord quoted = record(2, 16, 4294967295u, "Zo\xC3\xAB \"q\" \\ \t\x01 \xE2\x82\xAC");
  quoted.rec = {4294967295u, 0, 0, 0xFFFFFFFFu};
  quoted.cut = 17;
  i.changes = {{KeptChange::Added, quoted, 0, 0},
               {KeptChange::Removed, record(3, 17, 816, ""), 0, 0},
               {KeptChange::Moved, record(1, 1, 366, "Kay"), 19, 3}};
  i.table = {record(1, 1, 366, "Kay"), quoted};
  JournalEntry e =
      end("20260102T030405Z-Ab3dEf", 2, "refused", false, besideCopy(".admins.list.edit.Xy12Zw"));
  e.why = "the new list has 1 error that the list does not have: nothing written";
  JournalEntry r = repair("20260102T030405Z-Ab3dEf", 3, "completed", "20260102T030408Z-Qq1234",
                          true, {"/var/tmp/e/l", 1000, false, ""});
  JournalEntry o =
      outside("20260102T030409Z-Zz9876", 4, kNew, kHand, "20260102T030408Z-Qq1234", false);
  JournalEntry quiet = outside("20260102T030410Z-Yy5432", 5, kHand, kRead, "x", true);
  quiet.verb.clear();
  quiet.by = {};
  quiet.changes = {};
  quiet.table = {};
  quiet.line = {};
  JournalEntry l = loggedLate("20260102T030405Z-Ab3dEf", 6, "20260102T030408Z-Qq1234");
  JournalEntry st = state(7, {i, end("20260102T030405Z-Ab3dEf", 2, "installed"), o});
  return {s, i, e, r, o, quiet, l, st};
}

}  // namespace

TEST(Journal, EveryKindOfEntryReadsBackAsWritten) {
  const std::vector<JournalEntry> entries = everyKind();
  std::vector<std::string> lines;
  lines.reserve(entries.size());
  for (const JournalEntry &e : entries) lines.push_back(tl::journalLine(e));
  std::vector<JournalEntry> back;
  tl::JournalDamage damage;
  ASSERT_TRUE(tl::parseJournal(lines, back, damage)) << damage.line << ": " << damage.message;
  ASSERT_EQ(back.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(fieldsOf(back[i]), fieldsOf(entries[i])) << lines[i];
    EXPECT_EQ(lines[i].find('\n'), std::string::npos) << "one line: " << lines[i];
  }
  EXPECT_EQ(lines[6],
            R"({"at":"2026-01-02T03:04:11Z","id":"20260102T030405Z-Ab3dEf","kind":"logged",)"
            R"("v":1,"writer":"20260102T030408Z-Qq1234"})");
}

TEST(Journal, BytesThatAreNotUtf8AreWrittenAsTheReplacementCharacter) {
  JournalEntry e = install("20260102T030405Z-Ab3dEf", 0, kRead, kNew);
  e.table = {record(1, 15, 53, "caf\xE9 \xFF")};
  std::vector<JournalEntry> back;
  tl::JournalDamage damage;
  ASSERT_TRUE(tl::parseJournal({tl::journalLine(e)}, back, damage)) << damage.message;
  ASSERT_EQ(back.size(), 1u);
  ASSERT_EQ(back[0].table.size(), 1u);
  EXPECT_EQ(back[0].table[0].comment, "caf\xEF\xBF\xBD \xEF\xBF\xBD");
}

TEST(Journal, ADamagedOrForeignLineIsRefusedWithItsNumberAndWhy) {
  const std::string good = tl::journalLine(loggedLate("20260102T030405Z-Ab3dEf", 0, "w"));
  const auto lacking = [](const std::string &kind) {
    return "a " + kind + " entry that lacks a member or has one of the wrong type";
  };
  // A start entry, to spoil one member at a time.
  const std::string by = R"("by":{"account":"root","uid":0})";
  const auto startWith = [&by](const std::string &members) {
    return R"({"v":1,"kind":"start","at":"2026-01-02T03:04:05Z","id":"i",)" + by +
           R"(,"verb":"edit","list":"/srv/l","read":"")" + members + "}";
  };
  const std::string rec =
      R"({"slot":1,"line":15,"rSeed":53,"pSeed":0,"ipMin":"10.1.0.0","ipMax":"10.1.255.255",)"
      R"("comment":""})";
  const auto installWith = [](const std::string &table) {
    return R"({"v":1,"kind":"install","at":"2026-01-02T03:04:05Z","id":"i",)"
           R"("by":{"account":"root","uid":0},"verb":"add","list":"/srv/l","read":"",)"
           R"("install":"x","previous":"","files":["n"],"changes":[],"table":[)" +
           table + "]}";
  };
  const auto logged = [](const std::string &members) {
    return R"({"v":1,"kind":"logged")" + members + "}";
  };
  const std::string at = R"(,"at":"2026-01-02T03:04:05Z")";
  const struct {
    const char *what;
    std::string line;
    std::string why;
  } cases[] = {
      {"not JSON", R"({"v":1,"kind":"logged")", "not JSON"},
      {"an empty line", "", "not JSON"},
      {"a torn line", good.substr(0, good.size() / 2), "not JSON"},
      {"JSON, not an object", R"([1,"logged"])", "not a JSON object"},
      {"no version", R"({"kind":"logged","at":"2026-01-02T03:04:05Z","id":"i","writer":"w"})",
       "no version"},
      {"a version as text", logged(R"(,"v":"1")"), "no version"},
      {"a negative version", R"({"v":-1,"kind":"logged"})", "no version"},
      {"version 2", R"({"v":2,"kind":"logged","at":"2026-01-02T03:04:05Z","id":"i","writer":"w"})",
       "written in version 2 of the format, which this tolvane-list does not read"},
      {"an unknown kind", R"({"v":1,"kind":"rename","at":"2026-01-02T03:04:05Z","id":"i"})",
       "an entry of no kind this tolvane-list knows"},
      {"no kind", R"({"v":1,"at":"2026-01-02T03:04:05Z","id":"i"})",
       "an entry of no kind this tolvane-list knows"},
      {"a writer of the wrong type", logged(at + R"(,"id":"i","writer":5)"), lacking("logged")},
      {"no id", logged(at + R"(,"writer":"w")"), lacking("logged")},
      {"a flag as text",
       R"({"v":1,"kind":"end","at":"2026-01-02T03:04:05Z","id":"i","result":"installed",)"
       R"("logged":"yes"})",
       lacking("end")},
      {"a repair without its writer",
       R"({"v":1,"kind":"repair","at":"2026-01-02T03:04:05Z","id":"i","result":"completed"})",
       lacking("repair")},
      {"a state entry carrying a state entry",
       R"({"v":1,"kind":"state","at":"2026-01-02T03:04:05Z","carried":[)"
       R"({"v":1,"kind":"state","at":"2026-01-02T03:04:05Z","carried":[]}]})",
       lacking("state")},
      {"a state entry carrying a damaged entry",
       R"({"v":1,"kind":"state","at":"2026-01-02T03:04:05Z","carried":[{"v":1,"kind":"end"}]})",
       lacking("state")},
      {"a state entry carrying nothing", R"({"v":1,"kind":"state","at":"2026-01-02T03:04:05Z"})",
       lacking("state")},
      {"a negative uid",
       R"({"v":1,"kind":"start","at":"2026-01-02T03:04:05Z","id":"i",)"
       R"("by":{"account":"root","uid":-1},"verb":"edit","list":"/srv/l","read":""})",
       lacking("start")},
      {"a uid past 32 bits",
       R"({"v":1,"kind":"start","at":"2026-01-02T03:04:05Z","id":"i",)"
       R"("by":{"account":"root","uid":4294967296},"verb":"edit","list":"/srv/l","read":""})",
       lacking("start")},
      {"a copy without its path", startWith(R"(,"copy":{"path":"","owner":0,"beside":false})"),
       lacking("start")},
      {"a copy beside the list without its name",
       startWith(R"(,"copy":{"path":"/srv/c","owner":0,"beside":true})"), lacking("start")},
      {"a bad address",
       installWith(R"({"slot":1,"line":15,"rSeed":53,"pSeed":0,)"
                   R"("ipMin":"10.1.0","ipMax":"10.1.255.255","comment":""})"),
       lacking("install")},
      {"an address past 255",
       installWith(R"({"slot":1,"line":15,"rSeed":53,"pSeed":0,)"
                   R"("ipMin":"10.1.0.256","ipMax":"10.1.255.255",)"
                   R"("comment":""})"),
       lacking("install")},
      {"a seed past 32 bits",
       installWith(R"({"slot":1,"line":15,"rSeed":4294967296,"pSeed":0,)"
                   R"("ipMin":"10.1.0.0","ipMax":"10.1.255.255",)"
                   R"("comment":""})"),
       lacking("install")},
      {"a bad time", logged(R"(,"at":"2026-13-02T03:04:05Z","id":"i","writer":"w")"),
       lacking("logged")},
      {"a time without its zone", logged(R"(,"at":"2026-01-02T03:04:05","id":"i","writer":"w")"),
       lacking("logged")},
      {"a time with more after it",
       logged(R"(,"at":"2026-01-02T03:04:05Z ","id":"i","writer":"w")"), lacking("logged")},
      {"a time as a number", logged(R"(,"at":1767323045,"id":"i","writer":"w")"),
       lacking("logged")},
  };
  {
    // The spoiled entries' sound forms are read: only the spoiled member refuses them.
    std::vector<JournalEntry> out;
    tl::JournalDamage damage;
    EXPECT_TRUE(tl::parseJournal({installWith(rec), startWith(""), good}, out, damage))
        << damage.line << ": " << damage.message;
  }
  for (const auto &c : cases) {
    for (const size_t before : {size_t{0}, size_t{2}}) {
      std::vector<std::string> lines(before, good);
      lines.push_back(c.line);
      lines.push_back(good);
      std::vector<JournalEntry> out;
      tl::JournalDamage damage;
      EXPECT_FALSE(tl::parseJournal(lines, out, damage)) << c.what;
      EXPECT_EQ(damage.line, static_cast<int>(before + 1)) << c.what;
      EXPECT_EQ(damage.message, c.why) << c.what;
    }
  }
}

TEST(Journal, TimesAndIdsAreUtc) {
  EXPECT_EQ(tl::utcTime(at(0)), "2026-01-02T03:04:05Z");
  EXPECT_EQ(tl::parseUtcTime("2026-01-02T03:04:05Z"), at(0));
  EXPECT_EQ(tl::changeId(at(0), "Ab3dEf"), "20260102T030405Z-Ab3dEf");
  EXPECT_EQ(tl::parseUtcTime("2026-01-02T03:04:05"), -1);
  EXPECT_EQ(tl::parseUtcTime("2026-01-02T03:04:05Zjunk"), -1);
  EXPECT_EQ(tl::parseUtcTime(""), -1);
}

namespace {

// The state's members as a case states them.
struct Said {
  bool any;
  std::string last;  // "" none; an outside change's id follows "outside "
  std::string lastDigest;
  std::string change;
  std::string changeRead;  // what undo takes FILE- to have to be
  bool open, hasStart, hasInstall;
  std::vector<std::string> unlogged;  // "KIND ID"
  std::vector<std::string> kept;      // paths
};

const char *const kKindNames[] = {"start",   "install", "end",  "repair",
                                  "outside", "logged",  "state"};

Said said(const JournalState &s) {
  Said d{s.any,
         (s.last.outside ? "outside " : "") + s.last.id,
         s.last.digest,
         s.change.id,
         s.change.install.read,
         s.open,
         s.hasStart,
         s.hasInstall,
         {},
         {}};
  for (const JournalEntry &u : s.unlogged) d.unlogged.push_back(kKindNames[u.kind] + (" " + u.id));
  for (const JournalEntry &k : s.kept) d.kept.push_back(k.kept.path);
  return d;
}

void expectSaid(const Said &got, const Said &want, const std::string &what) {
  EXPECT_EQ(got.any, want.any) << what;
  EXPECT_EQ(got.last, want.last) << what;
  EXPECT_EQ(got.lastDigest, want.lastDigest) << what;
  EXPECT_EQ(got.change, want.change) << what;
  EXPECT_EQ(got.changeRead, want.changeRead) << what;
  EXPECT_EQ(got.open, want.open) << what;
  EXPECT_EQ(got.hasStart, want.hasStart) << what;
  EXPECT_EQ(got.hasInstall, want.hasInstall) << what;
  EXPECT_EQ(got.unlogged, want.unlogged) << what;
  EXPECT_EQ(got.kept, want.kept) << what;
}

// Change A, installed: what the cases start from.
const std::vector<JournalEntry> kA = {install("A", 0, kOlder, kRead), end("A", 1, "installed")};

std::vector<JournalEntry> after(std::vector<JournalEntry> first,
                                const std::vector<JournalEntry> &then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

}  // namespace

TEST(JournalState, WhatTheEntriesSayNow) {
  const CopyKept copy = besideCopy(".admins.list.edit.Xy12Zw");
  const CopyKept other = besideCopy(".admins.list.edit.Qr34St");
  const struct {
    const char *what;
    std::vector<JournalEntry> entries;
    Said want;
  } cases[] = {
      {"no entry", {}, {false, "", "", "", "", false, false, false, {}, {}}},
      {"an install and its end", kA, {true, "A", kRead, "A", kOlder, false, false, false, {}, {}}},
      {"an edit: start, install, end",
       {start("B", 0, kRead, copy), install("B", 1, kRead, kNew), end("B", 2, "installed")},
       {true, "B", kNew, "B", kRead, false, false, false, {}, {}}},
      {"an install without its end: open",
       after(kA, {install("B", 2, kRead, kNew)}),
       {true, "A", kRead, "A", kOlder, true, false, true, {}, {}}},
      {"an edit cut short after its install entry",
       after(kA, {start("B", 2, kRead, copy), install("B", 3, kRead, kNew)}),
       {true, "A", kRead, "A", kOlder, true, true, true, {}, {}}},
      {"an edit cut short while editing: a start without its install",
       after(kA, {start("B", 2, kRead, copy)}),
       {true, "A", kRead, "A", kOlder, true, true, false, {}, {}}},
      {"an edit that was refused keeps its copy",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "refused", true, copy)}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {copy.path}}},
      {"an edit that changed nothing",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "unchanged")}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {}}},
      {"a change that installed nothing",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "trouble")}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {}}},
      {"a repair that completed the open change: it is the last change",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "completed", "C")}),
       {true, "B", kNew, "B", kRead, false, false, false, {}, {}}},
      {"a repair that rolled it back: the change before stays the last",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "rolled-back", "C")}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {}}},
      {"a repair that could not tell",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "unknown", "C")}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {}}},
      {"a repair of an edit cut short while editing, its copy kept",
       after(kA, {start("B", 2, kRead, copy), repair("B", 3, "rolled-back", "C", true, copy)}),
       {true, "A", kRead, "A", kOlder, false, false, false, {}, {copy.path}}},
      {"a repair's line not logged",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "completed", "C", false)}),
       {true, "B", kNew, "B", kRead, false, false, false, {"repair B"}, {}}},
      {"an end of no open change closes nothing",
       after(kA, {install("B", 2, kRead, kNew), end("Z", 3, "installed")}),
       {true, "A", kRead, "A", kOlder, true, false, true, {}, {}}},
      {"an outside change after a change: the last version moves, the last change stays",
       after(kA, {outside("X", 2, kRead, kHand, "C")}),
       {true, "outside X", kHand, "A", kOlder, false, false, false, {}, {}}},
      {"a change after an outside change is the last again",
       after(kA, {outside("X", 2, kRead, kHand, "C"), install("C", 3, kHand, kNew, kRead),
                  end("C", 4, "installed")}),
       {true, "C", kNew, "C", kHand, false, false, false, {}, {}}},
      {"an end not logged, then logged late",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false)}),
       {true, "B", kNew, "B", kRead, false, false, false, {"end B"}, {}}},
      {"... and logged late",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false),
                  loggedLate("B", 4, "C")}),
       {true, "B", kNew, "B", kRead, false, false, false, {}, {}}},
      {"a late line of an unknown change changes nothing",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false),
                  loggedLate("Q", 4, "C")}),
       {true, "B", kNew, "B", kRead, false, false, false, {"end B"}, {}}},
      {"lines due, oldest first",
       after(kA, {outside("X", 2, kRead, kHand, "B", false), install("B", 3, kHand, kNew),
                  end("B", 4, "installed", false)}),
       {true, "B", kNew, "B", kHand, false, false, false, {"outside X", "end B"}, {}}},
      {"copies kept, oldest first, whatever came after",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "refused", true, copy),
                  start("C", 4, kRead, other), end("C", 5, "trouble", false, other),
                  install("D", 6, kRead, kNew), end("D", 7, "installed")}),
       {true, "D", kNew, "D", kRead, false, false, false, {"end C"}, {copy.path, other.path}}},
      {"a state entry: what came before counts no more",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "refused", false, copy),
                  install("C", 4, kRead, kNew),
                  state(5, {install("Z", 0, kOlder, kHand), end("Z", 1, "installed")})}),
       {true, "Z", kHand, "Z", kOlder, false, false, false, {}, {}}},
      {"an empty state entry",
       after(kA, {state(2, {})}),
       {true, "", "", "", "", false, false, false, {}, {}}},
      {"entries after a state entry",
       {state(2, kA), outside("X", 3, kRead, kHand, "C", false)},
       {true, "outside X", kHand, "A", kOlder, false, false, false, {"outside X"}, {}}},
  };
  for (const auto &c : cases) expectSaid(said(tl::stateOf(c.entries)), c.want, c.what);
}

TEST(JournalState, WhatARotatedJournalCarriesSaysWhatTheJournalSaid) {
  const CopyKept copy = besideCopy(".admins.list.edit.Xy12Zw");
  const CopyKept other = {"/var/tmp/tolvane-edit.Qr34St/admins.list", 65534, false, ""};
  const struct {
    const char *what;
    std::vector<JournalEntry> entries;
  } cases[] = {
      {"one change", kA},
      {"two changes", after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed")})},
      {"the last change not logged",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false)})},
      {"an outside change not logged, older than the last change",
       after(kA, {outside("X", 2, kRead, kHand, "B", false), install("B", 3, kHand, kNew, kRead),
                  end("B", 4, "installed")})},
      {"an outside change not logged, older than the last change, which is not logged either",
       after(kA, {outside("X", 2, kRead, kHand, "B", false), install("B", 3, kHand, kNew, kRead),
                  end("B", 4, "installed", false)})},
      {"an outside change after the last change", after(kA, {outside("X", 2, kRead, kHand, "B")})},
      {"an outside change after the last change, not logged",
       after(kA, {outside("X", 2, kRead, kHand, "B", false)})},
      {"a change not logged, then a change refused",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false),
                  start("C", 4, kNew, copy), end("C", 5, "refused", true, copy)})},
      {"a repair that completed the last change, not logged",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "completed", "C", false),
                  start("C", 4, kNew, copy), end("C", 5, "unchanged")})},
      {"a repair that rolled back, not logged",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "rolled-back", "C", false)})},
      {"copies kept, one not logged",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "refused", false, copy),
                  start("C", 4, kRead, other), end("C", 5, "refused", true, other)})},
      {"a copy kept by the repair that completed the last change",
       after(kA, {start("B", 2, kRead, copy), install("B", 3, kRead, kNew),
                  repair("B", 4, "completed", "C", true, copy)})},
      {"no change, only an outside one", {outside("X", 0, kRead, kHand, "B", false)}},
      {"lines logged late", after(kA, {install("B", 2, kRead, kNew),
                                       end("B", 3, "installed", false), loggedLate("B", 4, "C")})},
  };
  for (const auto &c : cases) {
    const JournalState s = tl::stateOf(c.entries);
    const std::vector<JournalEntry> carried = tl::carriedOver(s);
    // As the next journal reads it: its first line, then the entries after it.
    std::vector<JournalEntry> read;
    tl::JournalDamage damage;
    EXPECT_TRUE(tl::parseJournal({tl::journalLine(state(9, carried))}, read, damage))
        << c.what << ": " << damage.message;
    const JournalState again = tl::stateOf(read);
    expectSaid(said(again), said(s), c.what);
    EXPECT_EQ(again.last.at, s.last.at) << c.what;
    EXPECT_EQ(again.change.at, s.change.at) << c.what;
    const auto all = [](const auto &list) {
      std::vector<std::string> out;
      out.reserve(list.size());
      for (const auto &one : list) out.push_back(fieldsOf(one));
      return out;
    };
    EXPECT_EQ(all(again.last.table), all(s.last.table)) << c.what;
    // A line still due is sent late as it was due: each entry whole.
    EXPECT_EQ(all(again.unlogged), all(s.unlogged)) << c.what;
    EXPECT_EQ(fieldsOf(again.change.install), fieldsOf(s.change.install)) << c.what;
    // And a journal rotated again carries the same.
    const JournalState twice = tl::stateOf({state(10, tl::carriedOver(again))});
    expectSaid(said(twice), said(s), std::string(c.what) + ", rotated twice");
  }
}

namespace {

FileFound none() {
  return {};
}

FileFound plain(const std::string &digest) {
  return {true, true, digest};
}

FileFound notPlain() {
  return {true, false, ""};
}

struct Judged {
  CutShort::Stage stage;
  bool installed;
  std::vector<std::string> remove;
  bool keepPrevious;
  bool outsideSince;
  std::string outsideFrom;
  bool mayBeLogged;
  bool removeCopy;
  bool copyKept;
};

}  // namespace

TEST(CutShort, HowFarAChangeGotFromItsEntriesAndWhatLiesBesideTheList) {
  const CopyKept copy = besideCopy(".admins.list.edit.Xy12Zw");
  // A change of a list that held kRead, installing kNew, FILE- holding kOlder when it began.
  const std::vector<JournalEntry> add = after(kA, {install("B", 2, kRead, kNew)});
  // The same, where FILE- already held the list read.
  const std::vector<JournalEntry> afterUndo =
      after(kA, {install("B", 2, kRead, kNew, /*previous=*/kRead)});
  // Where there was no FILE- when it began.
  const std::vector<JournalEntry> noPrevious = {install("B", 2, kRead, kNew, "")};
  // A list made by the change (--create): no copy of an old one, no FILE- made.
  const std::vector<JournalEntry> made = {install("B", 2, "", kNew, "")};
  // An edit.
  const std::vector<JournalEntry> edit =
      after(kA, {start("B", 2, kRead, copy), install("B", 3, kRead, kNew)});
  const std::vector<JournalEntry> editing = after(kA, {start("B", 2, kRead, copy)});
  using S = CutShort;
  const std::vector<std::string> nothing, next = {kNext}, both = {kNext, kPrev};
  const struct {
    const char *what;
    const std::vector<JournalEntry> &entries;
    CutShortFound found;  // list, next, previous, kept (FILE-), copy
    Judged want;
  } cases[] = {
      // Before any file was made.
      {"before any file",
       add,
       {kRead, none(), none(), plain(kOlder), none()},
       {S::BeforeInstall, false, nothing, false, false, kRead, false, false, false}},
      {"before any file, then a hand edit",
       add,
       {kHand, none(), none(), plain(kOlder), none()},
       {S::BeforeInstall, false, nothing, false, true, kRead, false, false, false}},
      {"before any file, no FILE- then, then a hand edit",
       noPrevious,
       {kHand, none(), none(), none(), none()},
       {S::BeforeInstall, false, nothing, false, true, kRead, false, false, false}},
      // The new version written in part; then its copy of the old list too.
      {"the new file partly written",
       add,
       {kRead, plain(kPart), none(), plain(kOlder), none()},
       {S::BeforeInstall, false, next, false, false, kRead, false, false, false}},
      {"the new file partly written, then a hand edit",
       add,
       {kHand, plain(kPart), none(), plain(kOlder), none()},
       {S::BeforeInstall, false, next, false, true, kRead, false, false, false}},
      {"both files written",
       add,
       {kRead, plain(kNew), plain(kRead), plain(kOlder), none()},
       {S::BeforeInstall, false, both, false, false, kRead, false, false, false}},
      {"both files written, then a hand edit",
       add,
       {kHand, plain(kNew), plain(kRead), plain(kOlder), none()},
       {S::BeforeInstall, false, both, false, true, kRead, false, false, false}},
      // Exchanged: the old list lies at the new version's name.
      {"exchanged",
       add,
       {kNew, plain(kRead), plain(kRead), plain(kOlder), none()},
       {S::Exchanged, true, next, true, false, kNew, false, false, false}},
      {"exchanged, then a hand edit",
       add,
       {kHand, plain(kRead), plain(kRead), plain(kOlder), none()},
       {S::Exchanged, true, next, true, true, kNew, false, false, false}},
      // Its copy of the old list became FILE-.
      {"FILE- kept",
       add,
       {kNew, plain(kRead), none(), plain(kRead), none()},
       {S::PreviousKept, true, next, false, false, kNew, false, false, false}},
      {"FILE- kept, then a hand edit",
       add,
       {kHand, plain(kRead), none(), plain(kRead), none()},
       {S::PreviousKept, true, next, false, true, kNew, false, false, false}},
      // The old list removed: every file as the change left it.
      {"the old list removed",
       add,
       {kNew, none(), none(), plain(kRead), none()},
       {S::Installed, true, nothing, false, false, kNew, true, false, false}},
      {"the old list removed, then a hand edit",
       add,
       {kHand, none(), none(), plain(kRead), none()},
       {S::Installed, true, nothing, false, true, kNew, true, false, false}},
      {"FILE- was the list already, then a hand edit: cannot be told",
       afterUndo,
       {kHand, none(), none(), plain(kRead), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      // Without an exchange: FILE- named first, then the new version renamed over the list.
      {"no exchange: FILE- kept, not yet renamed",
       add,
       {kRead, plain(kNew), none(), plain(kRead), none()},
       {S::BeforeInstall, false, next, false, false, kRead, false, false, false}},
      {"no exchange: FILE- kept, not yet renamed, then a hand edit",
       add,
       {kHand, plain(kNew), none(), plain(kRead), none()},
       {S::BeforeInstall, false, next, false, true, kRead, false, false, false}},
      {"no exchange: renamed",
       add,
       {kNew, none(), none(), plain(kRead), none()},
       {S::Installed, true, nothing, false, false, kNew, true, false, false}},
      {"no exchange: renamed, then a hand edit",
       add,
       {kHand, none(), none(), plain(kRead), none()},
       {S::Installed, true, nothing, false, true, kNew, true, false, false}},
      // What the tool never leaves.
      {"its new file not a plain file",
       add,
       {kRead, notPlain(), none(), plain(kOlder), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      {"its copy of the old list there, its new file gone",
       add,
       {kRead, none(), plain(kRead), plain(kOlder), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      {"FILE- gone, the list a hand's",
       add,
       {kHand, none(), none(), none(), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      // A list that did not exist before.
      {"a new list, before any file",
       made,
       {"", none(), none(), none(), none()},
       {S::BeforeInstall, false, nothing, false, false, "", false, false, false}},
      {"a new list, its file partly written",
       made,
       {"", plain(kPart), none(), none(), none()},
       {S::BeforeInstall, false, next, false, false, "", false, false, false}},
      {"a new list, its file partly written, then a list made by hand",
       made,
       {kHand, plain(kPart), none(), none(), none()},
       {S::BeforeInstall, false, next, false, true, "", false, false, false}},
      {"a new list, installed",
       made,
       {kNew, none(), none(), none(), none()},
       {S::Installed, true, nothing, false, false, kNew, true, false, false}},
      {"a new list, installed or never, then a hand edit: cannot be told",
       made,
       {kHand, none(), none(), none(), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      {"a new list, installed or never, an old FILE- there, then a hand edit: cannot be told",
       made,
       {kHand, none(), none(), plain(kOlder), none()},
       {S::Unknown, false, nothing, false, true, "", false, false, false}},
      // An edit: its copy goes only when it is what was installed.
      {"an edit cut short while editing, its copy there",
       editing,
       {kRead, none(), none(), plain(kOlder), plain(kEdited)},
       {S::Editing, false, nothing, false, false, kRead, false, false, true}},
      {"an edit cut short while editing, its copy gone",
       editing,
       {kRead, none(), none(), plain(kOlder), none()},
       {S::Editing, false, nothing, false, false, kRead, false, false, false}},
      {"an edit cut short while editing, then a hand edit",
       editing,
       {kHand, none(), none(), plain(kOlder), plain(kEdited)},
       {S::Editing, false, nothing, false, true, kRead, false, false, true}},
      {"an edit installed, its copy what it installed",
       edit,
       {kNew, none(), none(), plain(kRead), plain(kNew)},
       {S::Installed, true, nothing, false, false, kNew, true, true, false}},
      {"an edit exchanged, its copy what it installed",
       edit,
       {kNew, plain(kRead), plain(kRead), plain(kOlder), plain(kNew)},
       {S::Exchanged, true, next, true, false, kNew, false, true, false}},
      {"an edit installed, its copy edited since",
       edit,
       {kNew, none(), none(), plain(kRead), plain(kEdited)},
       {S::Installed, true, nothing, false, false, kNew, true, false, true}},
      {"an edit installed, its copy gone",
       edit,
       {kNew, none(), none(), plain(kRead), none()},
       {S::Installed, true, nothing, false, false, kNew, true, false, false}},
      {"an edit not installed, its copy what it would have installed",
       edit,
       {kRead, plain(kNew), plain(kRead), plain(kOlder), plain(kNew)},
       {S::BeforeInstall, false, both, false, false, kRead, false, false, true}},
      {"an edit that cannot be told, its copy there",
       edit,
       {kRead, notPlain(), none(), plain(kOlder), plain(kNew)},
       {S::Unknown, false, nothing, false, true, "", false, false, true}},
  };
  for (const auto &c : cases) {
    const JournalState s = tl::stateOf(c.entries);
    EXPECT_TRUE(s.open) << c.what;
    const CutShort got = tl::judgeCutShort(s, c.found, kKept);
    EXPECT_EQ(got.stage, c.want.stage) << c.what;
    EXPECT_EQ(got.installed, c.want.installed) << c.what;
    EXPECT_EQ(got.remove, c.want.remove) << c.what;
    EXPECT_EQ(got.keepPrevious, c.want.keepPrevious) << c.what;
    EXPECT_EQ(got.outsideSince, c.want.outsideSince) << c.what;
    EXPECT_EQ(got.outsideFrom, c.want.outsideFrom) << c.what;
    EXPECT_EQ(got.mayBeLogged, c.want.mayBeLogged) << c.what;
    EXPECT_EQ(got.removeCopy, c.want.removeCopy) << c.what;
    EXPECT_EQ(got.copyKept, c.want.copyKept) << c.what;
  }
}

TEST(CutShort, EachStageSaysHowFarTheChangeGot) {
  const std::vector<JournalEntry> add = after(kA, {install("B", 2, kRead, kNew)});
  const std::vector<JournalEntry> editing = {start("B", 2, kRead)};
  const struct {
    const std::vector<JournalEntry> &entries;
    CutShortFound found;
    std::string said;
  } cases[] = {
      {editing,
       {kRead, none(), none(), none(), none()},
       "cut short while the list was being edited: nothing was installed"},
      {add,
       {kRead, none(), none(), plain(kOlder), none()},
       "cut short before it installed anything: nothing was installed"},
      {add,
       {kNew, plain(kRead), plain(kRead), plain(kOlder), none()},
       "cut short after it installed the list, before it kept the version it replaced as "
       "/srv/admins.list-"},
      {add,
       {kNew, plain(kRead), none(), plain(kRead), none()},
       "cut short after it installed the list and kept /srv/admins.list-, before it removed the "
       "old list"},
      {add,
       {kNew, none(), none(), plain(kRead), none()},
       "cut short after it installed the list and kept /srv/admins.list-, before its end was in "
       "the journal (its own line may have reached the log already)"},
      {add,
       {kHand, none(), none(), none(), none()},
       "cut short, and the files beside the list were changed since, so that whether it "
       "installed cannot be told: nothing of it was removed"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tl::judgeCutShort(tl::stateOf(c.entries), c.found, kKept).said, c.said);
}

namespace {

// An item as a case states it: "ID KIND RESULT", then what else is so.
std::string shown(const HistoryItem &h) {
  std::string s = h.id + (h.kind == HistoryItem::Outside ? " outside" : " " + h.verb) + " " +
                  h.result + (h.installed ? " installed" : "") + (h.logged ? " logged" : "");
  if (!h.loggedLate.empty()) s += " late:" + h.loggedLate + "@" + tl::utcTime(h.loggedAt);
  if (h.cutShort) s += " cut-short";
  if (!h.putRightBy.empty()) s += " put-right-by:" + h.putRightBy;
  if (!h.foundBy.empty()) s += " found-by:" + h.foundBy;
  if (!h.kept.empty()) s += " kept:" + h.kept;
  if (!h.why.empty()) s += " why:" + h.why;
  s += " changes:" + std::to_string(h.changes.size()) + " at:" + tl::utcTime(h.at);
  return s;
}

std::vector<std::string> history(const std::vector<JournalEntry> &entries) {
  std::vector<std::string> out;
  for (const HistoryItem &h : tl::historyOf(entries)) out.push_back(shown(h));
  return out;
}

}  // namespace

TEST(History, EachChangeOnceNewestFirst) {
  const CopyKept copy = besideCopy(".admins.list.edit.Xy12Zw");
  JournalEntry refused = end("C", 5, "refused", true, copy);
  refused.why = "the new list has 1 error";
  const std::vector<JournalEntry> rotated =
      after(kA, {outside("X", 2, kRead, kHand, "B", false), install("B", 3, kHand, kNew, kRead),
                 end("B", 4, "installed", false)});
  // The journal that rotated it carries what still counts: the last change and the lines due.
  const std::vector<JournalEntry> current = {
      state(6, tl::carriedOver(tl::stateOf(rotated))), loggedLate("X", 7, "D"),
      loggedLate("B", 8, "D"), install("D", 9, kNew, kRead, kRead), end("D", 10, "installed")};
  // An outside change found after the last change, logged or not, carried alone.
  const std::vector<JournalEntry> foundLogged = {
      state(6, tl::carriedOver(tl::stateOf(after(kA, {outside("X", 2, kRead, kHand, "B")}))))};
  const std::vector<JournalEntry> foundDue = {state(
      6, tl::carriedOver(tl::stateOf(after(kA, {outside("X", 2, kRead, kHand, "B", false)}))))};
  const struct {
    const char *what;
    std::vector<JournalEntry> entries;
    std::vector<std::string> want;
  } cases[] = {
      {"newest first, a refusal among them",
       after(kA, {start("C", 4, kRead, copy), refused, install("D", 6, kRead, kNew),
                  end("D", 7, "installed")}),
       {"D add installed installed logged changes:0 at:2026-01-02T03:04:11Z",
        "C edit refused logged kept:/srv/.admins.list.edit.Xy12Zw why:the new list has 1 error "
        "changes:0 at:2026-01-02T03:04:09Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"cut short, not yet put right",
       after(kA, {install("B", 2, kRead, kNew)}),
       {"B add cut short cut-short changes:0 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"cut short, then completed by the next change",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "completed", "C")}),
       {"B add cut short installed logged cut-short put-right-by:C changes:0 "
        "at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"cut short, then rolled back by the next change",
       after(kA, {install("B", 2, kRead, kNew), repair("B", 3, "rolled-back", "C", false)}),
       {"B add cut short cut-short put-right-by:C changes:0 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"an edit cut short while editing, then rolled back, its copy kept",
       {start("B", 2, kRead, copy), repair("B", 3, "rolled-back", "C", true, copy)},
       {"B edit cut short logged cut-short put-right-by:C kept:/srv/.admins.list.edit.Xy12Zw "
        "changes:0 at:2026-01-02T03:04:07Z"}},
      {"logged late",
       after(kA, {install("B", 2, kRead, kNew), end("B", 3, "installed", false),
                  loggedLate("B", 9, "C")}),
       {"B add installed installed late:C@2026-01-02T03:04:14Z changes:0 "
        "at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"an edit that changed nothing is no change",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "unchanged")}),
       {"A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"an edit that failed and kept nothing is one",
       after(kA, {start("B", 2, kRead, copy), end("B", 3, "trouble")}),
       {"B edit trouble logged changes:0 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"an outside change between two changes",
       after(kA, {outside("X", 2, kRead, kHand, "B"), install("B", 3, kHand, kNew, kRead),
                  end("B", 4, "installed")}),
       {"B add installed installed logged changes:0 at:2026-01-02T03:04:08Z",
        "X outside  installed logged found-by:B changes:1 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"a rotated journal, then the one that carried its entries over: each change once",
       after(rotated, current),
       {"D add installed installed logged changes:0 at:2026-01-02T03:04:14Z",
        "B add installed installed late:D@2026-01-02T03:04:13Z changes:0 "
        "at:2026-01-02T03:04:08Z",
        "X outside  installed late:D@2026-01-02T03:04:12Z found-by:B changes:1 "
        "at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"the carried entries alone, once the rotated journal is rotated away",
       current,
       {"D add installed installed logged changes:0 at:2026-01-02T03:04:14Z",
        "B add installed installed late:D@2026-01-02T03:04:13Z changes:0 "
        "at:2026-01-02T03:04:08Z",
        "X outside  installed late:D@2026-01-02T03:04:12Z found-by:B changes:1 "
        "at:2026-01-02T03:04:07Z"}},
      {"an outside change after the last change, carried alone",
       foundLogged,
       {"X outside  installed logged found-by:B changes:1 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
      {"an outside change after the last change, not logged, carried alone",
       foundDue,
       {"X outside  installed found-by:B changes:1 at:2026-01-02T03:04:07Z",
        "A add installed installed logged changes:0 at:2026-01-02T03:04:05Z"}},
  };
  for (const auto &c : cases) EXPECT_EQ(history(c.entries), c.want) << c.what;
}

TEST(Journal, ALongCommentIsCutAt200BytesBetweenCharacters) {
  const std::string a199(199, 'a'), a198(198, 'a'), a197(197, 'a');
  const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", smile = "\xF0\x9F\x98\x80";
  const struct {
    const char *what;
    std::string comment;
    std::string kept;
    size_t cut;
  } cases[] = {
      {"200 bytes: whole", a198 + e, a198 + e, 0},
      {"201 bytes of ASCII", a199 + "bc", a199 + "b", 1},
      {"a two-byte character across the cut", a199 + e + "z", a199, 3},
      {"a three-byte character across the cut", a198 + euro + "z", a198, 4},
      {"a three-byte character ending past the cut", a199 + euro, a199, 3},
      {"a four-byte character across the cut", a197 + smile + "z", a197, 5},
      {"a four-byte character right after the cut", std::string(200, 'a') + smile,
       std::string(200, 'a'), 4},
      {"characters all the way",
       [&] {
         std::string s;
         for (int i = 0; i < 70; ++i) s += euro;
         return s;
       }(),
       [&] {
         std::string s;
         for (int i = 0; i < 66; ++i) s += euro;
         return s;
       }(),
       12},
  };
  for (const auto &c : cases) {
    const tl::Loaded l{3, 17, 1, {816, 0, 1, 2}, c.comment, ""};
    const KeptRecord k = tl::keptRecord(l);
    EXPECT_EQ(k.comment, c.kept) << c.what;
    EXPECT_EQ(k.cut, c.cut) << c.what;
    EXPECT_EQ(k.comment.size() + k.cut, c.comment.size()) << c.what;
    EXPECT_EQ(k.slot, 3) << c.what;
    EXPECT_EQ(k.line, 17) << c.what;
    EXPECT_EQ(k.rec.rSeed, 816u) << c.what;
  }
}
