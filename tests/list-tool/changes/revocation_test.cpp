// A revocation never misses in silence: remove by a record's values, by a user's values (--ip,
// the whole revocation at once) or by note takes out what it names, and when a line still
// recognises whom it names, or comes close when nothing matched, it names that line with the
// command that takes it out and ends with status 1. Nothing close: unchanged, status 0. One
// table: exit status, what the tool says, the list's bytes after, and the line in the log
// (a private /dev/log).
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "edit-harness.h"
#include "launch.h"
#include "private-log.h"

namespace {

using namespace harness;  // the tests' own folder and its list

const std::string kAda = "{FA} {} \"10.1.*.*\"   # Ada, office\n";
const std::string kBob = "{MD} {} \"10.9.*.*\"   # Bob\n";             // registration seed 99
const std::string kLinus = "{OOA} {} \"172.16.*.*\"   # Linus\n";      // 816
const std::string kLinusHome = "{OOA} {} \"172.16.0.*\"   # home\n";   // 816, inside Linus's
const std::string kLinusPuid = "{OOA} {G} \"172.16.0.5\"   # desk\n";  // 816, PUID seed 2
const std::string kBobAway = "{MD} {} \"10.8.*.*\"   # Bob\n";         // 99, elsewhere

struct Case {
  const char *what;
  std::string list;    // the list before
  std::string args;    // after `remove <L>`
  int status;          // the exit status
  std::string said;    // all the tool prints (<L> the list)
  std::string after;   // the list's bytes after
  std::string logged;  // its line in the log, after "<L>: remove by root: " ("" for none)
};

const std::string kPrefix = "<L> (before) -> <L>: ";

// What the tool says when Bob's line goes, and its line in the log.
const std::string kBobTakenOut =
    "- <L> (before):2: slot 2: registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255   "
    "# Bob\n" +
    kPrefix +
    "0 added, 1 removed, 0 moved; 2 records before, 1 after; who gains: none; who loses: 1 "
    "record's users\n<L>: changed: installed (the previous version is <L>-)\n";
const std::string kBobOnRecord =
    "installed: - line 2 slot 2 (registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255 # "
    "\"Bob\")";

const Case kCases[] = {
    // What the revocation names is there: taken out.
    {"exact, by values", kAda + kBob, "--rseed 99 --addr '10.9.*.*'", 0, kBobTakenOut, kAda,
     kBobOnRecord},
    {"exact, by note", kAda + kBob, "--note Bob", 0, kBobTakenOut, kAda, kBobOnRecord},
    // The whole revocation at once: every record that recognises the user, whatever its
    // pattern; a record for another PUID than the one given stays, and recognises nobody named.
    {"every record that recognises a user", kLinus + kAda + kLinusHome + kLinusPuid,
     "--rseed 816 --ip 172.16.0.5", 0,
     "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
     "172.16.255.255   # Linus\n"
     "- <L> (before):3: slot 3: registration seed 816, PUID seed any, 172.16.0.0 to 172.16.0.255"
     "   # home\n"
     "- <L> (before):4: slot 4: registration seed 816, PUID seed 2, 172.16.0.5 to 172.16.0.5   "
     "# desk\n" +
         kPrefix +
         "0 added, 3 removed, 0 moved; 4 records before, 1 after; who gains: none; who loses: 3 "
         "records' users\n<L>: changed: installed (the previous version is <L>-)\n",
     kAda,
     "installed: - line 1 slot 1 (registration seed 816, PUID seed any, 172.16.0.0 to "
     "172.16.255.255 # \"Linus\"); - line 3 slot 3 (registration seed 816, PUID seed any, "
     "172.16.0.0 to 172.16.0.255 # \"home\"); - line 4 slot 4 (registration seed 816, PUID seed "
     "2, 172.16.0.5 to 172.16.0.5 # \"desk\")"},
    {"a user with one PUID", kLinusPuid + kAda, "--rseed 816 --pseed 3 --ip 172.16.0.5", 0,
     "<L>: unchanged: no record recognises this user; nothing written\n", kLinusPuid + kAda, ""},
    // Near by note: up to case, spaces and punctuation, words held in the comment, a comment
    // line above a record (which is never its note).
    {"near by note: case", kAda + kBob, "--note bob", 1,
     "<L>: error: no record has the comment 'bob', but one comes close: line 2 (slot 2: "
     "registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255 # Bob: a comment close to "
     "'bob'); to remove it: tolvane-list remove <L> 2 [near-miss]\n",
     kAda + kBob, "refused"},
    {"near by note: a trailing space", kAda + kBob, "--note 'Bob '", 1,
     "<L>: error: no record has the comment 'Bob ', but one comes close: line 2 (slot 2: "
     "registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255 # Bob: a comment close to "
     "'Bob '); to remove it: tolvane-list remove <L> 2 [near-miss]\n",
     kAda + kBob, "refused"},
    {"near by note: the first words", kAda + kBob, "--note Ada", 1,
     "<L>: error: no record has the comment 'Ada', but one comes close: line 1 (slot 1: "
     "registration seed 53, PUID seed any, 10.1.0.0 to 10.1.255.255 # Ada, office: a comment "
     "close to 'Ada'); to remove it: tolvane-list remove <L> 1 [near-miss]\n",
     kAda + kBob, "refused"},
    {"near by note: a comment line above", "# Linus, who left\n" + kLinus.substr(0, 21) + "\n",
     "--note 'Linus, who left'", 1,
     "<L>: error: no record has the comment 'Linus, who left', but one comes close: line 2 "
     "(slot 1: registration seed 816, PUID seed any, 172.16.0.0 to 172.16.255.255: the comment "
     "line above it, 'Linus, who left', is no record's note); to remove it: tolvane-list remove "
     "<L> 2 [near-miss]\n",
     "# Linus, who left\n" + kLinus.substr(0, 21) + "\n", "refused"},
    // The same seeds at a record that covers the address, or overlaps the pattern: no line gives
    // the record, and the list still recognises whom it names.
    {"same seeds, a covering record", kAda + kBob, "--rseed 99 --addr 10.9.1.1", 1,
     "<L>: error: no line gives this record, but the list still recognises whom it names: line 2 "
     "(slot 2: registration seed 99, PUID seed any, 10.9.0.0 to 10.9.255.255 # Bob); to remove "
     "it: tolvane-list remove <L> 2 [still-recognised]\n",
     kAda + kBob, "refused"},
    {"same seeds, an overlapping record", kLinusHome + kAda, "--rseed 816 --addr '172.16.*.*'", 1,
     "<L>: error: no line gives this record, but the list still recognises whom it names: line 1 "
     "(slot 1: registration seed 816, PUID seed any, 172.16.0.0 to 172.16.0.255 # home); to "
     "remove it: tolvane-list remove <L> 1 [still-recognised]\n",
     kLinusHome + kAda, "refused"},
    // The record is taken out, and one that still recognises whom it names is named, at its
    // line in the new list.
    {"exact, and a covered record left", kLinus + kAda + kLinusHome,
     "--rseed 816 --addr '172.16.*.*'", 1,
     "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
     "172.16.255.255   # Linus\n" +
         kPrefix +
         "0 added, 1 removed, 0 moved; 3 records before, 2 after; who gains: none; who loses: 1 "
         "record's users\n<L>: changed: installed (the previous version is <L>-)\n"
         "<L>: error: the list still recognises whom this revocation names: line 2 (slot 2: "
         "registration seed 816, PUID seed any, 172.16.0.0 to 172.16.0.255 # home); to revoke it "
         "too: tolvane-list remove <L> 2 [still-recognised]\n",
     kAda + kLinusHome,
     "installed: - line 1 slot 1 (registration seed 816, PUID seed any, 172.16.0.0 to "
     "172.16.255.255 # \"Linus\")"},
    {"exact, and a covered record left, as a dry run", kLinus + kAda + kLinusHome,
     "--rseed 816 --addr '172.16.*.*' --dry-run", 1,
     "- <L> (before):1: slot 1: registration seed 816, PUID seed any, 172.16.0.0 to "
     "172.16.255.255   # Linus\n" +
         kPrefix +
         "0 added, 1 removed, 0 moved; 3 records before, 2 after; who gains: none; who loses: 1 "
         "record's users\n<L>: dry run: would change; nothing written\n"
         "<L>: error: the new list would still recognise whom this revocation names: line 3 "
         "(slot 3: registration seed 816, PUID seed any, 172.16.0.0 to 172.16.0.255 # home); to "
         "revoke it too: tolvane-list remove <L> 1 3 [still-recognised]\n",
     kLinus + kAda + kLinusHome, ""},
    // Nothing matched, and a record with the same seeds lies elsewhere.
    {"same seeds at another address", kAda + kBobAway, "--rseed 99 --addr 10.9.1.1", 1,
     "<L>: error: no line gives this record, but one comes close: line 2 (slot 2: registration "
     "seed 99, PUID seed any, 10.8.0.0 to 10.8.255.255 # Bob: the same seeds at another "
     "address); to remove it: tolvane-list remove <L> 2 [near-miss]\n",
     kAda + kBobAway, "refused"},
    // Nothing close: unchanged, and nothing on record.
    {"nothing close, by values", kAda + kBob, "--rseed 98 --addr 10.9.1.1", 0,
     "<L>: unchanged: no line gives this record; nothing written\n", kAda + kBob, ""},
    {"nothing close, by note", kAda + kBob, "--note Carol", 0,
     "<L>: unchanged: no record has the comment 'Carol'; nothing written\n", kAda + kBob, ""},
    {"nothing close, by a user", kAda + kBob, "--rseed 816 --ip 172.16.0.5", 0,
     "<L>: unchanged: no record recognises this user; nothing written\n", kAda + kBob, ""},
};

}  // namespace

TEST(Revocation, NeverMissesInSilence) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  for (const Case &c : kCases) {
    Folder f;
    spill(f.list, c.list);
    const Logged r = logged(launched(TOLVANE_LIST) + " remove " + f.list + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.output;
    EXPECT_EQ(r.output, placed(c.said, f)) << c.what;
    EXPECT_EQ(slurp(f.list), c.after) << c.what;
    std::vector<std::string> log;
    if (c.logged == "refused") {
      // A refusal is on record with the words the operator was shown, quoted, and its code.
      const std::string said = r.output.substr(r.output.find(": error: ") + 9);
      const size_t code = said.rfind(" [");
      log.push_back("<85>\"" + f.list + "\": remove by root: refused: \"" + said.substr(0, code) +
                    "\"" + said.substr(code, said.size() - 1 - code));
    } else if (!c.logged.empty()) {
      log.push_back("<85>\"" + f.list + "\": remove by root: " + placed(c.logged, f));
    }
    EXPECT_EQ(r.log, log) << c.what;
  }
}

// With --json, a revocation that misses says so in its one document: the refusal with its code,
// the records it names, and the command that takes them out.
TEST(Revocation, ItsJsonNamesTheRecordsLeft) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  Folder f;
  spill(f.list, kLinusHome + kAda);
  const Logged r = logged(launched(TOLVANE_LIST) + " remove --json " + f.list +
                          " --rseed 816 --addr '172.16.*.*' 2>/dev/null");
  EXPECT_EQ(r.status, 1) << r.output;
  const nlohmann::json doc = nlohmann::json::parse(r.output, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << r.output;
  EXPECT_EQ(doc["refused"]["code"], "still-recognised");
  EXPECT_EQ(doc["command"], "tolvane-list remove " + f.list + " 1");
  ASSERT_EQ(doc["missed"].size(), 1u) << r.output;
  EXPECT_EQ(doc["missed"][0]["line"], 1);
  EXPECT_EQ(doc["missed"][0]["ipMax"], "172.16.0.255");
  EXPECT_EQ(doc["missed"][0]["recognises"], true);
  EXPECT_EQ(doc["changed"], false);
  EXPECT_EQ(slurp(f.list), kLinusHome + kAda);
}
