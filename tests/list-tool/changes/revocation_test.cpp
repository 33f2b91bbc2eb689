// A revocation is judged by whom the plug-in recognises, on lists written as operators write
// them. One table: each request run twice on the same list, asserting the exit status of both
// runs (always the same), what each says (the lines it names), the list's bytes after, and
// whether the stand-in's test of the plug-in, `match`, still recognises the person afterwards.
// No row exits 0 while a user whom the request names is recognised.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "build-paths.h"
#include "edit-harness.h"
#include "launch.h"
#include "private-log.h"

namespace {

using namespace harness;  // the tests' own folder and its list

const std::string kAda = "{FA} {} \"10.1.*.*\"   # Ada\n";
const std::string kLinus = "{OOA} {} \"172.16.*.*\"   # Linus\n";     // registration seed 816
const std::string kLinusHome = "{OOA} {} \"172.16.0.*\"   # home\n";  // 816, inside Linus's
const std::string kBob = "{MD} {} \"10.9.*.*\"   # Bob\n";            // 99
const std::string kBobAway = "{MD} {} \"10.8.*.*\"   # Bob away\n";   // 99, elsewhere

// 32 records, then Linus's, which the plug-in never reads (the 33rd).
std::string fullList() {
  std::string out;
  const Outcome lines = shell("for i in $(seq 1 32); do " + launched(TOLVANE_LIST) +
                              " encode --rseed $((1000 + i)) --addr 10.$i.0.1 --note user$i; done");
  return lines.out + "{OOA} {} \"10.5.*.*\"   # Linus\n";
}

struct Case {
  const char *what;
  std::string list;    // the list before
  std::string args;    // after `remove <L>`
  int status;          // the exit status of both runs
  std::string first;   // what the first run says (<L> the list; "" when it says nothing else)
  std::string second;  // what the second says
  std::string after;   // the list's bytes after both
  std::string probe;   // match's values of the person the request names (within its range)
  bool recognised;     // whether match recognises them afterwards
};

const std::string kInstalled = "<L>: changed: installed (the previous version is <L>-)\n";

std::vector<Case> cases() {
  const std::string full = fullList();
  std::string fullAfter = full;  // without Linus's line, the 33rd
  fullAfter.erase(fullAfter.rfind("{OOA}"));
  return {
      // A note is the comment on a record's own line, matched exactly. A comment line above a
      // record, after a blank line, or one of two, is no note: the request is refused, naming
      // it with the record nearest to it, never offering to remove a record.
      {"a comment above, a blank line between", "# Linus\n\n" + kLinus.substr(0, 21) + "\n" + kAda,
       "--note Linus", 1,
       "<L>: error: no record has the note 'Linus' (a note is the comment on a record's own line, "
       "matched exactly); comments that come close: line 1 'Linus' (a comment line; the record "
       "nearest to it is line 3: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255); name the person by their seeds (--rseed, or --crc and --counter), or "
       "give --missing-ok when they may already be gone [no-such-note]\n",
       "", "# Linus\n\n" + kLinus.substr(0, 21) + "\n" + kAda, "--rseed 816 --ip 172.16.0.1", true},
      {"two comment lines above", "# Linus\n# at the office\n" + kLinus.substr(0, 21) + "\n",
       "--note Linus", 1,
       "<L>: error: no record has the note 'Linus' (a note is the comment on a record's own line, "
       "matched exactly); comments that come close: line 1 'Linus' (a comment line; the record "
       "nearest to it is line 3: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255); name the person by their seeds (--rseed, or --crc and --counter), or "
       "give --missing-ok when they may already be gone [no-such-note]\n",
       "", "# Linus\n# at the office\n" + kLinus.substr(0, 21) + "\n",
       "--rseed 816 --ip 172.16.0.1", true},
      // The same person by their seeds: every record, whatever comment lies where.
      {"a comment above, by seeds", "# Linus\n\n" + kLinus.substr(0, 21) + "\n" + kAda,
       "--rseed 816", 0,
       "- <L> (before):3: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255\n<L> (before) -> <L>: 0 added, 1 removed, 0 moved; 2 records before, 1 "
       "after; who gains: none; who loses: 1 record's users\n" +
           kInstalled,
       "<L>: unchanged: no record recognises this person; nothing written\n", "# Linus\n\n" + kAda,
       "--rseed 816 --ip 172.16.0.1", false},
      // The note on the record's line: taken out; the second run knows it from the journal.
      {"the note on the record's line", kLinus + kAda, "--note Linus", 0,
       "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255   # Linus\n<L> (before) -> <L>: 0 added, 1 removed, 0 moved; 2 records "
       "before, 1 after; who gains: none; who loses: 1 record's users\n" +
           kInstalled,
       "<L>: unchanged: the record with the note 'Linus' was taken out by change ID (remove by "
       "root, TIME); nothing written\n",
       kAda, "--rseed 816 --ip 172.16.0.1", false},
      // Close, not the same: named, never taken out.
      {"another case, outside ASCII", "{OOA} {} \"172.16.*.*\"   # Åsa\n" + kAda, "--note åsa", 1,
       "<L>: error: no record has the note 'åsa' (a note is the comment on a record's own line, "
       "matched exactly); comments that come close: line 1 'Åsa' (the note of the record on that "
       "line: registration seed 816, PUID seed any, 172.16.0.0 to 172.16.255.255 # Åsa); name "
       "the person by their seeds (--rseed, or --crc and --counter), or give --missing-ok when "
       "they may already be gone [no-such-note]\n",
       "", "{OOA} {} \"172.16.*.*\"   # Åsa\n" + kAda, "--rseed 816 --ip 172.16.0.1", true},
      {"a letter off", "{OOA} {} \"172.16.*.*\"   # Linus Ekman\n" + kAda, "--note 'Linus Eckman'",
       1,
       "<L>: error: no record has the note 'Linus Eckman' (a note is the comment on a record's "
       "own line, matched exactly); comments that come close: line 1 'Linus Ekman' (the note of "
       "the record on that line: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255 # Linus Ekman); name the person by their seeds (--rseed, or --crc and "
       "--counter), or give --missing-ok when they may already be gone [no-such-note]\n",
       "", "{OOA} {} \"172.16.*.*\"   # Linus Ekman\n" + kAda, "--rseed 816 --ip 172.16.0.1", true},
      // Covering patterns, in both orders: every record that recognises the person within the
      // range asked goes, the wider one whole.
      {"covering patterns, the wider first", kLinus + kAda + kLinusHome,
       "--rseed 816 --addr '172.16.0.*'", 0,
       "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.255.255   # Linus\n- <L> (before):3: slot 3: registration seed 816, PUID seed any, "
       "172.16.0.0 to 172.16.0.255   # home\n<L> (before) -> <L>: 0 added, 2 removed, 0 moved; 3 "
       "records before, 1 after; who gains: none; who loses: 2 records' users\n" +
           kInstalled,
       "<L>: unchanged: no record recognises this person within 172.16.0.0 to 172.16.0.255; "
       "nothing written\n",
       kAda, "--rseed 816 --ip 172.16.0.9", false},
      {"covering patterns, the narrower first", kLinusHome + kAda + kLinus,
       "--rseed 816 --addr '172.16.0.*'", 0,
       "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
       "172.16.0.255   # home\n- <L> (before):3: slot 3: registration seed 816, PUID seed any, "
       "172.16.0.0 to 172.16.255.255   # Linus\n<L> (before) -> <L>: 0 added, 2 removed, 0 "
       "moved; 3 records before, 1 after; who gains: none; who loses: 2 records' users\n" +
           kInstalled,
       "<L>: unchanged: no record recognises this person within 172.16.0.0 to 172.16.0.255; "
       "nothing written\n",
       kAda, "--rseed 816 --ip 172.16.0.9", false},
      // The same seeds at two addresses: within the range asked they go, and where the person
      // is still recognised is said, the same words on both runs; without a range, both go.
      {"the same seeds at two addresses, one asked", kBob + kAda + kBobAway,
       "--rseed 99 --addr 10.9.1.1", 0,
       "- <L> (before):1: slot 1: registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255   "
       "# Bob\n<L> (before) -> <L>: 0 added, 1 removed, 0 moved; 3 records before, 2 after; who "
       "gains: none; who loses: 1 record's users\n" +
           kInstalled +
           "<L>: note: the same person is still recognised outside the range asked, which this "
           "revocation leaves as it is: line 2 (slot 2: registration seed 99, PUID seed any, "
           "10.8.0.0 to 10.8.255.255 # Bob away) [recognised-elsewhere]\n",
       "<L>: unchanged: no record recognises this person within 10.9.1.1; nothing written\n"
       "<L>: note: the same person is still recognised outside the range asked, which this "
       "revocation leaves as it is: line 2 (slot 2: registration seed 99, PUID seed any, 10.8.0.0 "
       "to 10.8.255.255 # Bob away) [recognised-elsewhere]\n",
       kAda + kBobAway, "--rseed 99 --ip 10.9.1.1", false},
      {"the same seeds at two addresses, the person", kBob + kAda + kBobAway, "--rseed 99", 0,
       "- <L> (before):1: slot 1: registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255   "
       "# Bob\n- <L> (before):3: slot 3: registration seed 99, PUID seed any, 10.8.0.0 to "
       "10.8.255.255   # Bob away\n<L> (before) -> <L>: 0 added, 2 removed, 0 moved; 3 records "
       "before, 1 after; who gains: none; who loses: 2 records' users\n" +
           kInstalled,
       "<L>: unchanged: no record recognises this person; nothing written\n", kAda,
       "--rseed 99 --ip 10.8.1.1", false},
      // A removal that would make the dormant 33rd record live is refused, naming it and the fix;
      // taking the dormant one itself out is a change of no loaded record.
      {"32 records and a dormant 33rd, by line", full, "1", 1,
       "<L>: error: taking out what was asked would bring in a record that nobody asked for, "
       "which the plug-in does not read now (past the 32nd): line 33 (registration seed 816, PUID "
       "seed any, 10.5.0.0 to 10.5.255.255 # Linus); to take it out too: tolvane-list remove <L> "
       "1 33, or make room for it knowingly with tolvane-list edit [brings-in]\n",
       "", full, "--rseed 816 --ip 10.5.1.1", false},
      {"32 records and a dormant 33rd, by the first's seeds", full, "--rseed 1001", 1,
       "<L>: error: taking out what was asked would bring in a record that nobody asked for, "
       "which the plug-in does not read now (past the 32nd): line 33 (registration seed 816, PUID "
       "seed any, 10.5.0.0 to 10.5.255.255 # Linus); to take it out too: tolvane-list remove <L> "
       "1 33, or make room for it knowingly with tolvane-list edit [brings-in]\n",
       "", full, "--rseed 816 --ip 10.5.1.1", false},
      {"32 records and a dormant 33rd, the dormant one", full, "--rseed 816", 0,
       "<L> (before) -> <L>: the same table of 32 records\n" + kInstalled,
       "<L>: unchanged: no record recognises this person; nothing written\n", fullAfter,
       "--rseed 816 --ip 10.5.1.1", false},
      // Kay's record goes; Ada's, whose comment names Kay, is never named, on either run.
      {"Kay, and Ada who stands in for Kay",
       "{FA} {} \"10.1.*.*\"   # Kay\n{GA} {} \"10.2.*.*\"   # "
       "Ada, stands in for Kay\n",
       "--note Kay", 0,
       "- <L> (before):1: slot 1: registration seed 53, PUID seed any, 10.1.0.0 to 10.1.255.255   "
       "# Kay\n<L> (before) -> <L>: 0 added, 1 removed, 0 moved; 2 records before, 1 after; who "
       "gains: none; who loses: 1 record's users\n" +
           kInstalled,
       "<L>: unchanged: the record with the note 'Kay' was taken out by change ID (remove by "
       "root, TIME); nothing written\n",
       "{GA} {} \"10.2.*.*\"   # Ada, stands in for Kay\n", "--rseed 53 --ip 10.1.0.1", false},
      // A comment line by its number takes nobody out: refused, naming the record nearest to it.
      {"a comment line by its number", "# Linus: the office\n" + kLinus.substr(0, 21) + "\n", "1",
       1,
       "<L>: error: line 1 (a comment line: '# Linus: the office'), the record nearest to it is "
       "line 2 (registration seed 816, PUID seed any, 172.16.0.0 to 172.16.255.255): a line that "
       "gives no record takes nobody out; name the record's own line, or give --text-lines to "
       "take the text out as it is [not-a-record]\n",
       "", "# Linus: the office\n" + kLinus.substr(0, 21) + "\n", "--rseed 816 --ip 172.16.0.1",
       true},
  };
}

// The output with the journal's change ids and times shown as ID and TIME.
std::string masked(const std::string &text) {
  static const std::regex id(R"(\d{8}T\d{6}Z-[A-Za-z0-9]{6})");
  static const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  return std::regex_replace(std::regex_replace(text, id, "ID"), time, "TIME");
}

}  // namespace

TEST(Revocation, IsJudgedByWhomThePluginRecognisesTheSameOnEveryRun) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  for (const Case &c : cases()) {
    Folder f;
    spill(f.list, c.list);
    const std::string command = launched(TOLVANE_LIST) + " remove " + f.list + " " + c.args;
    const Logged first = logged(command);
    const Logged second = logged(command);
    EXPECT_EQ(first.status, c.status) << c.what << "\n" << first.output;
    EXPECT_EQ(second.status, c.status) << c.what << ": the second run\n" << second.output;
    EXPECT_EQ(masked(first.output), placed(c.first, f)) << c.what;
    EXPECT_EQ(masked(second.output), placed(c.second.empty() ? c.first : c.second, f))
        << c.what << ": the second run";
    EXPECT_EQ(slurp(f.list), c.after) << c.what;
    const Outcome match =
        shell(launched(TOLVANE_LIST) + " match " + f.list + " " + c.probe + " >/dev/null");
    EXPECT_EQ(match.status, c.recognised ? 0 : 1) << c.what << ": match " << c.probe;
    EXPECT_FALSE(c.status == 0 && c.recognised) << c.what << ": exit 0 while still recognised";
  }
}

// With --json, a revocation refused for a note no record has names the comments that come close
// in its one document, and no command that would take a record out.
TEST(Revocation, ItsJsonNamesTheCommentsThatComeClose) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  Folder f;
  spill(f.list, "# Linus\n\n" + kLinus.substr(0, 21) + "\n" + kAda);
  const Logged r =
      logged(launched(TOLVANE_LIST) + " remove --json " + f.list + " --note Linus 2>/dev/null");
  EXPECT_EQ(r.status, 1) << r.output;
  const nlohmann::json doc = nlohmann::json::parse(r.output, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << r.output;
  EXPECT_EQ(doc["outcome"], "refused");
  EXPECT_EQ(doc["error"]["code"], "no-such-note");
  // A comment line names nobody's record: no removal is suggested.
  EXPECT_EQ(doc["error"].value("message", "").find("tolvane-list remove"), std::string::npos)
      << r.output;
  ASSERT_EQ(doc["close"].size(), 1u) << r.output;
  EXPECT_EQ(doc["close"][0]["line"], 1);
  EXPECT_EQ(doc["close"][0]["comment"], "Linus");
  EXPECT_EQ(doc["close"][0]["ownLine"], false);
  EXPECT_EQ(doc["close"][0]["record"]["line"], 3);
  EXPECT_EQ(doc["changed"], false);
}

// A revocation that leaves a record recognising whom it names within its range is said with its
// command, and ends with status 1: a line that gives two records, one of them asked for.
TEST(Revocation, ALineThatAlsoGivesAnotherRecordIsNamedNotTakenHalf) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  Folder f;
  // The second record is read from the rest of the line past its 62nd byte.
  const std::string shared =
      "{OOA} {} \"172.16.*.*\"" + std::string(41, ' ') + "{FA} {} \"10.1.*.*\"\n";
  spill(f.list, shared);
  const Logged r = logged(launched(TOLVANE_LIST) + " remove " + f.list + " --rseed 816");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("line 1 also gives another record (slot 2): take the line out by its "
                          "number, or mend it by hand [shared-line]"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(slurp(f.list), shared);
}
