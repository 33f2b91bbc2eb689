// What a run says as text, its --json document says too: one table over the subcommands and
// what can happen to each (a usage error, a file it cannot read, refused values, trouble, a
// warning, new errors at undo, a change made). Each row runs twice, as text and as --json,
// each in a folder of its own: the document is one, in the one shape (schema, command, outcome,
// exitStatus, error), carries every [code] and every line number the text shows, and both runs
// leave the list's bytes as the row says.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "build-paths.h"
#include "edit-harness.h"
#include "launch.h"

namespace {

using namespace harness;  // the tests' own folder and runs

const std::string kAdded = "{MD} {} \"10.9.*.*\"\n";  // registration seed 99, 10.9.0.0/16
// A previous version whose fourth record has a fifth octet: undo brings in a new error.
const std::string kFifthOctet =
    "{FA} {} \"10.1.*.*\"   # Ada\n\n# Grace\n{MEHF} {} \"10.2.*.*\"\n"
    "{GA} {} \"10.3.4.5.6\"   # a fifth octet\n";

struct Case {
  const char *what;     // the situation
  const char *setup;    // a shell command run first in the folder ("" for none)
  const char *args;     // after the tool's name, without --json; <D> the folder, <L> the list
  const char *outcome;  // "done", "refused" or "trouble"
  const char *code;     // the error's code ("" when done)
  int status;           // the exit status, as text and as JSON
  bool added;           // the list afterwards: with kAdded after it, or as it was
};

constexpr bool kAsItWas = false;
constexpr bool kWithAdded = true;

const Case kCases[] = {
    // Words the tool cannot take: CLI11's own, or found once the words are read.
    {"usage", "", "check <L> --bogus", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "check <L> --fail-on=bogus", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "check <L> --as no-such-account-here", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "match <L> --rseed 53 --ip 10.1.2", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "match <L> --crc x --counter 2 --ip 10.1.2.3", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "diff <L> <L> --crc 1 --counter 2 --ip 300.1.1.1", "trouble", "usage", 2,
     kAsItWas},
    {"usage", "", "add <L> --addr 10.1.*.*", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "add <L> --rseed x --addr 10.1.*.*", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "add <L> --wait=<L> --rseed 53 --addr 10.1.*.*", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "remove <L>", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "remove <L> 0", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "undo <L> --bogus", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "undo <L> --as no-such-account-here", "trouble", "usage", 2, kAsItWas},
    {"usage", "", "history <L> --bogus", "trouble", "usage", 2, kAsItWas},
    // A file the tool cannot read, or a list that is not there to change.
    {"unreadable", "", "check <D>/missing.list", "trouble", "cannot-read", 2, kAsItWas},
    {"unreadable", "", "check <D>/folder", "trouble", "cannot-read", 2, kAsItWas},
    {"unreadable", "", "match <D>/missing.list --rseed 53 --ip 10.1.2.3", "trouble", "cannot-read",
     2, kAsItWas},
    {"unreadable", "", "diff <L> <D>/missing.list", "trouble", "cannot-read", 2, kAsItWas},
    {"unreadable", "", "history <D>/folder", "trouble", "cannot-read", 2, kAsItWas},
    {"unreadable", "", "add <D>/missing.list --rseed 53 --addr 10.1.*.*", "refused", "no-list", 1,
     kAsItWas},
    {"unreadable", "", "add <D>/folder --rseed 53 --addr 10.1.*.*", "refused", "not-regular", 1,
     kAsItWas},
    {"unreadable", "", "remove <D>/missing.list 1", "refused", "no-list", 1, kAsItWas},
    {"unreadable", "", "undo <D>/missing.list", "refused", "no-list", 1, kAsItWas},
    // Values that make no record as written.
    {"values", "", "add <L> --rseed 53 --addr 10.1.*", "refused", "values", 1, kAsItWas},
    {"values", "", "add <L> --rseed 53 --addr '*.*.*.*'", "refused", "values", 1, kAsItWas},
    {"values", "", "remove <L> --rseed 53 --addr 10.1.*", "refused", "values", 1, kAsItWas},
    // Refusals of the change itself.
    {"refused", "", "undo <L>", "refused", "no-previous", 1, kAsItWas},
    {"refused", "", "remove <L> --rseed 53", "refused", "no-records", 1, kAsItWas},
    {"refused", "", "remove <L> --note Adda", "refused", "no-such-note", 1, kAsItWas},
    // Trouble: a line past the end, a folder that is not there, a list another change holds.
    {"trouble", "", "remove <L> 99", "trouble", "failed", 2, kAsItWas},
    {"trouble", "", "add <D>/no/admins.list --rseed 53 --addr 10.1.*.*", "trouble", "failed", 2,
     kAsItWas},
    {"trouble", "(flock -n <D>/.admins.list.lock sleep 30 >/dev/null 2>&1 &) ; sleep 0.3",
     "add <L> --rseed 99 --addr 10.9.*.*", "trouble", "failed", 2, kAsItWas},
    // A warning: the group can write the list (and so make anyone an administrator).
    {"warning", "chmod 664 <L>", "add <L> --rseed 99 --addr 10.9.*.* --dry-run", "done", "", 0,
     kAsItWas},
    {"warning", "chmod 664 <L>", "check <L>", "done", "", 1, kAsItWas},
    // New errors at undo: the previous version has a line the plug-in reads otherwise.
    {"new errors", "<PREVIOUS>", "undo <L>", "refused", "new-errors", 1, kAsItWas},
    {"new errors", "<PREVIOUS>", "undo <L> --dry-run", "refused", "new-errors", 1, kAsItWas},
    // Done: what a change and each report says.
    {"done", "", "add <L> --rseed 99 --addr 10.9.*.*", "done", "", 0, kWithAdded},
    {"done", "", "add <L> --rseed 99 --addr 10.9.*.* --dry-run", "done", "", 0, kAsItWas},
    {"done", "", "remove <L> --rseed 99", "done", "", 0, kAsItWas},
    {"done", "", "match <L> --rseed 53 --ip 10.1.2.3", "done", "", 0, kAsItWas},
    {"done", "", "match <L> --rseed 54 --ip 10.1.2.3", "done", "", 1, kAsItWas},
    {"done", "printf '{MD} {} \"10.9.*.*\"\\n' >><D>/other", "diff <L> <D>/other", "done", "", 1,
     kAsItWas},
    {"done", "<PREVIOUS>", "history <L>", "done", "", 0, kAsItWas},
};

// The subcommands that have no --json: the text says so, and nothing else happens.
const char *const kTextOnly[] = {
    "encode --rseed 53 --addr 10.1.*.*",
    "decode FA",
    "edit <L>",
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

// Every "[code]" the text shows.
std::set<std::string> codesIn(const std::string &text) {
  std::set<std::string> out;
  const std::regex code(R"(\[([a-z0-9]+(-[a-z0-9]+)*)\])");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), code); it != std::sregex_iterator();
       ++it)
    out.insert((*it)[1]);
  return out;
}

// Every line number the text shows: "FILE:12:", "FILE:12: ", "line 12".
std::set<int> linesIn(const std::string &text) {
  std::set<int> out;
  const std::regex line(R"((\.list|other|admins\.list-?):([0-9]+)[: ]|\bline ([0-9]+))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator();
       ++it) {
    const std::string n = (*it)[2].matched ? (*it)[2].str() : (*it)[3].str();
    if (std::stoi(n) > 0) out.insert(std::stoi(n));
  }
  return out;
}

// Every value of a member `key` anywhere in the document, and every string in it.
void gather(const nlohmann::json &j, std::set<std::string> &codes, std::set<int> &lines,
            std::string &strings) {
  if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (it.key() == "code" && it.value().is_string()) codes.insert(it.value().get<std::string>());
      if (it.key() == "line" && it.value().is_number_integer()) lines.insert(it.value().get<int>());
      gather(it.value(), codes, lines, strings);
    }
  } else if (j.is_array()) {
    for (const nlohmann::json &e : j) gather(e, codes, lines, strings);
  } else if (j.is_string()) {
    strings += j.get<std::string>() + "\n";
  }
}

// Makes the list's previous version the one with a fifth octet, as a change of the tool would
// have left it.
void previousWithFifthOctet(const Folder &f) {
  spill(f.list, kFifthOctet);
  spill(f.dir + "/good", kGood);
  shell("EDITOR='cp " + f.dir + "/good' " + launched(TOLVANE_LIST) + " edit '" + f.list +
        "' --allow-empty >/dev/null 2>&1");
  std::remove((f.dir + "/good").c_str());
  ASSERT_EQ(slurp(f.list), kGood);
}

// A folder of the row's own with the list, a folder where a list could be, and the setup run.
void prepare(const Folder &f, const Case &c) {
  ASSERT_EQ(mkdir((f.dir + "/folder").c_str(), 0755), 0);
  if (std::string(c.setup) == "<PREVIOUS>") {
    previousWithFifthOctet(f);
  } else if (*c.setup != '\0') {
    shell(placed(c.setup, f));
  }
}

}  // namespace

TEST(Json, TheDocumentCarriesEveryFactTheTextShows) {
  for (const Case &c : kCases) {
    const std::string expected = c.added ? kGood + kAdded : kGood;
    // As text.
    Folder t;
    prepare(t, c);
    const std::string textArgs = placed(c.args, t);
    const harness::Outcome text = shell(launched(TOLVANE_LIST) + " " + textArgs + " 2>&1");
    EXPECT_EQ(text.status, c.status) << c.what << ": " << textArgs << "\n" << text.out;
    EXPECT_EQ(slurp(t.list), expected) << c.what << ": " << textArgs << ": the list afterwards";
    // As JSON, standard error apart: it must say nothing the document does not.
    Folder j;
    prepare(j, c);
    const std::string jsonArgs = placed(c.args, j) + " --json";
    const harness::Outcome json =
        shell(launched(TOLVANE_LIST) + " " + jsonArgs + " 2>'" + j.dir + "/err'");
    const std::string err = slurp(j.dir + "/err");
    EXPECT_EQ(err, "") << c.what << ": " << jsonArgs;
    EXPECT_EQ(json.status, c.status) << c.what << ": " << jsonArgs << "\n" << json.out;
    EXPECT_EQ(slurp(j.list), expected) << c.what << ": " << jsonArgs << ": the list afterwards";
    const nlohmann::json doc = oneDocument(jsonArgs, json.out);
    ASSERT_TRUE(doc.is_object()) << jsonArgs << "\n" << json.out;
    const std::string command = std::string(c.args).substr(0, std::string(c.args).find(' '));
    EXPECT_EQ(doc.value("schema", 0), 1) << jsonArgs;
    EXPECT_EQ(doc.value("command", ""), command) << jsonArgs;
    EXPECT_EQ(doc.value("outcome", ""), c.outcome) << jsonArgs << "\n" << json.out;
    EXPECT_EQ(doc.value("exitStatus", -1), c.status) << jsonArgs;
    if (*c.code != '\0') {
      ASSERT_TRUE(doc.contains("error")) << jsonArgs << "\n" << json.out;
      EXPECT_EQ(doc["error"].value("code", ""), c.code) << jsonArgs << "\n" << json.out;
      EXPECT_NE(doc["error"].value("message", ""), "") << jsonArgs;
    } else {
      EXPECT_FALSE(doc.contains("error")) << jsonArgs << "\n" << json.out;
    }
    // Every code and line number the text shows, the document carries.
    std::set<std::string> codes;
    std::set<int> lines;
    std::string strings;
    gather(doc, codes, lines, strings);
    for (const std::string &code : codesIn(text.out))
      EXPECT_EQ(codes.count(code), 1U)
          << c.what << ": " << jsonArgs << ": the text shows [" << code << "]\n"
          << text.out << "\n"
          << json.out;
    for (const int line : linesIn(text.out)) {
      const std::string said = "line " + std::to_string(line);
      EXPECT_TRUE(lines.count(line) == 1 || strings.find(said) != std::string::npos)
          << c.what << ": " << jsonArgs << ": the text shows line " << line << "\n"
          << text.out << "\n"
          << json.out;
    }
  }
}

TEST(Json, ASubcommandWithoutJsonSaysSoAsText) {
  for (const char *args : kTextOnly) {
    Folder f;
    const std::string run = placed(args, f) + " --json";
    const harness::Outcome r =
        shell("EDITOR=false " + launched(TOLVANE_LIST) + " " + run + " 2>&1");
    EXPECT_EQ(r.status, 2) << run;
    const std::string command = std::string(args).substr(0, std::string(args).find(' '));
    EXPECT_EQ(r.out,
              "tolvane-list: The following argument was not expected: --json (tolvane-list " +
                  command + " --help)\n")
        << run;
    EXPECT_EQ(slurp(f.list), kGood) << run;
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
  EXPECT_EQ(doc.value("outcome", ""), "trouble");
  EXPECT_EQ(doc.value("changed", true), false);
  EXPECT_NE(doc["error"].value("message", "").find("is being changed by another tolvane-list"),
            std::string::npos)
      << r.out;
}

// A change waiting for the lock is ended by SIGTERM: as text it says so on standard error; as
// JSON its document says so; both exit 128 + 15 and write nothing.
TEST(Json, ASignalWhileWaitingForTheLockEndsTheRunWithItsReply) {
  for (const bool asJson : {false, true}) {
    Folder f;
    const pid_t held = startWaitingEdit(f);
    ASSERT_GT(held, 0);
    // The tool's own pid (written before it starts), and its flock calls traced: a second one
    // means it waits, its ending signals noted.
    const std::string pid = f.dir + "/pid.sh";
    const std::string trace = f.dir + "/trace.sh";
    harness::Outcome r;
    std::thread change([&] {
      r = shell(kStrace + "-e trace=flock -o '" + trace +
                "' sh -c 'echo $$ >\"$0\"; exec \"$@\"' '" + pid + "' " + launched(TOLVANE_LIST) +
                " add '" + f.list + "' --rseed 7 --addr 10.7.7.7 --wait=60" +
                (asJson ? " --json" : "") + " 2>'" + f.dir + "/err'");
    });
    for (int i = 0; i < 2000; ++i) {
      const std::string t = slurp(trace);
      const size_t first = t.find("flock(");
      if (first != std::string::npos && t.find("flock(", first + 1) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int tool = 0;
    std::ifstream(pid) >> tool;
    ASSERT_GT(tool, 0);
    kill(tool, SIGTERM);
    change.join();
    spill(f.dir + "/go", "");
    const std::string err = slurp(f.dir + "/err");
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.out << err;
    EXPECT_EQ(slurp(f.list), kGood);
    const std::string busy = "is being changed by another tolvane-list";
    const std::string ended = ": the wait was ended by SIGTERM; nothing written";
    if (!asJson) {
      EXPECT_EQ(r.out, "");
      EXPECT_NE(err.find(busy), std::string::npos) << err;
      EXPECT_NE(err.find(ended + "\n"), std::string::npos) << err;
      continue;
    }
    EXPECT_EQ(err, "");
    const nlohmann::json doc = oneDocument("add --json --wait (SIGTERM)", r.out);
    ASSERT_TRUE(doc.is_object()) << r.out;
    EXPECT_EQ(doc.value("outcome", ""), "trouble");
    EXPECT_EQ(doc.value("exitStatus", 0), 128 + SIGTERM);
    EXPECT_EQ(doc["error"].value("code", ""), "signal") << r.out;
    EXPECT_EQ(doc["error"].value("signal", ""), "SIGTERM") << r.out;
    const std::string message = doc["error"].value("message", "");
    EXPECT_NE(message.find(busy), std::string::npos) << r.out;
    EXPECT_NE(message.find(ended), std::string::npos) << r.out;
  }
}
