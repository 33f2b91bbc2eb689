// Every run with --json prints exactly one JSON document on standard output, whatever happens:
// a usage error, a file that is missing, a refusal, trouble, a line past the end. A table of
// each subcommand's failures; each document is parsed whole, and its verdict read.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <string>

#include "edit-harness.h"
#include "launch.h"

namespace {

using namespace harness;  // the tests' own folder and runs

struct Case {
  const char *args;   // after the tool's name; <D> the folder, <L> the list
  int status;         // the exit status
  const char *key;    // the key that says what happened
  const char *value;  // what it holds (a refusal's code), or "" for anything
};

const Case kCases[] = {
    // A usage error: CLI11's own, or one found once the words are read.
    {"check --json --fail-on=bogus <L>", 2, "error", ""},
    {"check --json --bogus <L>", 2, "error", ""},
    {"check --json --as no-such-account-here <L>", 2, "error",
     "--as: no account 'no-such-account-here'"},
    {"bogus --json <L>", 2, "error", ""},
    {"match --json <L> --crc 1 --counter 2 --ip 10.1.2", 2, "error",
     "--ip takes an address A.B.C.D, got '10.1.2'"},
    {"match --json <L> --crc x --counter 2 --ip 10.1.2.3", 2, "error", ""},
    {"diff --json <L> <L> --crc 1 --counter 2 --ip 300.1.1.1", 2, "error", ""},
    {"add --json <L> --rseed x --addr 10.1.*.*", 2, "error", ""},
    {"add --json <L> --addr 10.1.*.*", 2, "error", "give --rseed, or --crc and --counter"},
    {"remove --json <L>", 2, "error", ""},
    {"remove --json <L> 0", 2, "error", "remove takes line numbers from 1, got '0'"},
    {"remove --json <L> --wait 30 --rseed 53 --addr 10.1.*.*", 2, "error", ""},
    {"add --json <L> --wait=<L> --rseed 53 --addr 10.1.*.*", 2, "error", ""},
    {"undo --json --bogus <L>", 2, "error", ""},
    {"undo --json <L> --as no-such-account-here", 2, "error",
     "--as: no account 'no-such-account-here'"},
    // A file that is missing.
    {"check --json <D>/missing.list", 2, "files", ""},
    {"match --json <D>/missing.list --crc 1 --counter 2 --ip 10.1.2.3", 2, "error", ""},
    {"diff --json <L> <D>/missing.list", 2, "error", ""},
    {"add --json <D>/missing.list --rseed 53 --addr 10.1.*.*", 1, "refused", "no-list"},
    {"remove --json <D>/missing.list 1", 1, "refused", "no-list"},
    {"undo --json <D>/missing.list", 1, "refused", "no-list"},
    {"undo --json <L>", 1, "refused", "no-previous"},
    {"undo --json <L> --dry-run", 1, "refused", "no-previous"},
    // A refusal.
    {"add --json <L> --rseed 53 --addr 10.1.*", 1, "refused", "values"},
    {"add --json <L> --rseed 53 --addr '*.*.*.*'", 1, "refused", "values"},
    {"remove --json <L> --rseed 53 --addr 10.1.*", 1, "refused", "values"},
    {"add --json <D>/folder --rseed 53 --addr 10.1.*.*", 1, "refused", "not-regular"},
    {"undo --json <D>/folder", 1, "refused", "not-regular"},
    {"add --json <D>/no/admins.list --rseed 53 --addr 10.1.*.*", 2, "trouble", ""},
    // Trouble: a line past the end, a list another change holds.
    {"remove --json <L> 99", 2, "trouble", ""},
    {"remove <L> --line 99 --json", 2, "trouble", ""},
};

// The document a run printed on standard output; fails the test unless it is exactly one.
nlohmann::json oneDocument(const std::string &args, const std::string &out) {
  nlohmann::json doc;
  try {
    doc = nlohmann::json::parse(out);  // trailing text or a second document throws
  } catch (const nlohmann::json::exception &e) {
    ADD_FAILURE() << args << ": standard output is not one JSON document (" << e.what() << "):\n"
                  << out;
  }
  return doc;
}

}  // namespace

TEST(Json, EverySubcommandPrintsOneDocumentWhateverGoesWrong) {
  for (const Case &c : kCases) {
    Folder f;
    ASSERT_EQ(mkdir((f.dir + "/folder").c_str(), 0755), 0);  // a folder where a list could be
    const std::string args = placed(c.args, f);
    const harness::Outcome r = shell(launched(TOLVANE_LIST) + " " + args + " 2>/dev/null");
    EXPECT_EQ(r.status, c.status) << args << "\n" << r.out;
    const nlohmann::json doc = oneDocument(args, r.out);
    ASSERT_TRUE(doc.is_object()) << args << "\n" << r.out;
    ASSERT_TRUE(doc.contains(c.key)) << args << "\n" << r.out;
    const nlohmann::json &said = doc[c.key];
    const std::string value = c.value;
    if (value.empty()) continue;
    if (said.is_object()) {
      EXPECT_EQ(said.value("code", ""), value) << args << "\n" << r.out;
    } else {
      EXPECT_EQ(said, value) << args << "\n" << r.out;
    }
    EXPECT_EQ(slurp(f.list), kGood) << args << ": nothing written";
  }
}

TEST(Json, AChangeThatWaitsInVainForTheLockSaysSoInItsDocument) {
  Folder f;
  const pid_t held = startWaitingEdit(f);
  ASSERT_GT(held, 0);
  const harness::Outcome r = shell(launched(TOLVANE_LIST) + " add --json " + f.list +
                                   " --rseed 7 --addr 10.7.7.7 2>/dev/null");
  spill(f.dir + "/go", "");
  EXPECT_EQ(r.status, 2) << r.out;
  const nlohmann::json doc = oneDocument("add --json (locked)", r.out);
  ASSERT_TRUE(doc.is_object()) << r.out;
  EXPECT_EQ(doc.value("changed", true), false);
  EXPECT_NE(doc.value("trouble", "").find("is being changed by another tolvane-list"),
            std::string::npos)
      << r.out;
}
