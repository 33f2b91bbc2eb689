// A commit that nothing splits. Every signal another process may send, sent to the tool while
// the step that puts the new list in place is held (strace delays it), or while the step that
// keeps the version it replaced as NAME- is: the change installs, says so, ends as the change
// did, and is on record; NAME- is the version just replaced; nothing is left beside the list.
// And the tool killed at each of its system calls: the next change finishes or rolls it back from
// its journal, and puts it on record once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "build-paths.h"
#include "file-bytes.h"
#include "launch.h"
#include "private-log.h"

namespace {

const std::string kTool = launched(TOLVANE_LIST);

const std::string kBefore =
    "{FA} {} \"10.1.*.*\"   # Ada\n"
    "{GA} {} \"10.2.*.*\"   # Bob\n";

// A folder of the test's own with the list and an older NAME-; removed at the end.
struct Folder {
  std::string dir;
  Folder() {
    char name[] = "/tmp/tolvane-commit-XXXXXX";
    dir = mkdtemp(name) != nullptr ? name : "";
    std::ofstream(dir + "/admins.list", std::ios::binary) << kBefore;
    std::ofstream(dir + "/admins.list-", std::ios::binary) << "# an older version\n";
  }
  ~Folder() { std::system(("rm -rf '" + dir + "'").c_str()); }  // NOLINT(cert-env33-c)
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
  std::string list() const { return slurp(dir + "/admins.list"); }
  std::string kept() const { return slurp(dir + "/admins.list-"); }
  // Every name in the folder.
  std::string names() const {
    std::string out;
    FILE *p = popen(("ls -A '" + dir + "'").c_str(), "r");  // NOLINT(cert-env33-c)
    char buf[256];
    while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out += buf;
    if (p != nullptr) pclose(p);
    return out;
  }
};

// The lines of `log` that hold `text`.
int linesWith(const std::vector<std::string> &log, const std::string &text) {
  int n = 0;
  for (const std::string &l : log) n += l.find(text) != std::string::npos ? 1 : 0;
  return n;
}

struct Held {
  const char *syscall;  // the step held
  const char *reached;  // a shell test that is true once the tool waits in that step
};

}  // namespace

TEST(Commit, EverySignalThatComesAtTheExchangeOrAtNameDashWaitsForTheChangeToEnd) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  const Held steps[] = {
      // The exchange: both new files are whole, the list is not yet replaced.
      {"renameat2",
       "s=$(ls .admins.list-.?????? 2>/dev/null) && [ -n \"$s\" ] && "
       "[ \"$(stat -c %s \"$s\")\" = \"$(stat -c %s admins.list)\" ]"},
      // NAME-: the list is replaced, the version it replaced not yet named.
      {"renameat", "! cmp -s admins.list before"},
  };
  const int signals[] = {SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGWINCH,
                         SIGTERM, SIGHUP,  SIGINT,  SIGQUIT};
  // Two runs of each signal at each step: an add and a remove. strace holds the step and the
  // signal is sent only once the tool waits in it, so each run meets the same point; a third
  // run repeated the add.
  constexpr int kRuns = 2;
  for (const Held &step : steps) {
    for (const int sig : signals) {
      for (int run = 0; run < kRuns; ++run) {
        Folder f;
        const std::string what =
            std::string(step.syscall) + " SIG" + sigabbrev_np(sig) + " run " + std::to_string(run);
        const std::string change =
            run % 2 == 0 ? "add admins.list --rseed 7 --addr 10.7.*.*" : "remove admins.list 2";
        // The tool waits 0.3 s in the step; the signal comes once it is there.
        const std::string script =
            "cd '" + f.dir +
            "' || exit 1; cp admins.list before; "
            "{ env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e inject=" +
            step.syscall +
            ":delay_enter=300000 "
            "sh -c 'echo $$ >pid; exec \"$0\" \"$@\"' " +
            kTool + " " + change +
            " >out 2>&1; echo \"[exit $?]\" >>out; } & "
            "for i in $(seq 1000); do " +
            step.reached +
            " && break; sleep 0.005; done; "
            "kill -" +
            std::to_string(sig) + " $(cat pid); wait; cat out; rm -f pid out";
        const Logged r = logged(script);
        EXPECT_NE(r.output.find("admins.list: changed: installed (the previous version is "
                                "admins.list-)\n[exit 0]\n"),
                  std::string::npos)
            << what << "\n"
            << r.output;
        EXPECT_EQ(linesWith(r.log, ": installed: "), 1) << what << ": on record once";
        EXPECT_EQ(f.kept(), kBefore) << what << ": NAME- is the version just replaced";
        EXPECT_NE(f.list(), kBefore) << what;
        EXPECT_EQ(f.names(),
                  ".admins.list.journal\n.admins.list.lock\nadmins.list\nadmins.list-\nbefore\n")
            << what << ": nothing left beside the list";
      }
    }
  }
}

namespace {

// A system call of a change, as strace traced it: its name, which of its kind it is (1 on), and
// the line strace wrote of it.
struct Call {
  std::string name;
  int when;
  std::string line;
};

// The calls of `command` (run in `dir`) that can leave the change half made: every write, fsync,
// openat that makes a file, renameat2, renameat, unlinkat and sendto, in order.
std::vector<Call> callsOf(const std::string &dir, const std::string &command) {
  const std::string trace = dir + "/../trace-" + std::to_string(getpid());
  logged("cd '" + dir + "' && env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o '" + trace +
         "' -e trace=write,fsync,openat,renameat2,renameat,unlinkat,sendto " + command);
  std::vector<Call> calls;
  std::map<std::string, int> seen;
  std::istringstream lines(slurp(trace));
  std::remove(trace.c_str());
  const std::regex call(R"(^(?:\d+ +)?(\w+)\()");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, call)) continue;
    const std::string name = m[1];
    const int when = ++seen[name];
    if (name == "openat" && line.find("O_CREAT") == std::string::npos) continue;
    calls.push_back({name, when, line});
  }
  return calls;
}

// The id of the change whose journal entry adds the record of registration seed `seed`, or "".
std::string changeAdding(const std::string &dir, unsigned seed) {
  std::istringstream lines(slurp(dir + "/.admins.list.journal"));
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json e = nlohmann::json::parse(line, nullptr, false);
    if (!e.is_object() || e.value("kind", "") != "install") continue;
    for (const nlohmann::json &c : e["changes"]) {
      if (c["record"]["rSeed"] == seed) return e["id"];
    }
  }
  return "";
}

// Whether the journal holds the end of change `id`.
bool endOf(const std::string &dir, const std::string &id) {
  std::istringstream lines(slurp(dir + "/.admins.list.journal"));
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json e = nlohmann::json::parse(line, nullptr, false);
    if (e.is_object() && e.value("kind", "") == "end" && e.value("id", "") == id) return true;
  }
  return false;
}

}  // namespace

// A change killed (strace's injected SIGKILL) at each of its system calls that can leave it half
// made, in half the rows followed by a hand edit of the list: the next change finishes or rolls
// it back from its journal entries, so that NAME- is the version the next change replaced and
// nothing empty or half written is ever installed; the killed change is on record once, under its
// own verb and account, as what it came to; and history shows every change and the hand edit.
// A change killed before its journal entry was written never acted: nothing of it is anywhere.
// Killed after its line was sent but before its end was in the journal (the one point where no
// record can tell whether the line went out), its line is sent again, saying that it may be a
// repeat.
TEST(Commit, AChangeKilledAtEachSystemCallIsFinishedOrRolledBackFromItsJournal) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  const std::string killed = kTool + " add admins.list --rseed 7 --addr '10.7.*.*'";
  const std::string hand = "{HA} {} \"10.8.*.*\"   # hand\n";
  const std::string added = "{D} {} \"10.7.*.*\"\n";
  // A list whose journal holds one change already: that change's previous version is kept.
  const auto prepared = [](const Folder &f) {
    return logged("cd '" + f.dir + "' && " + kTool + " add admins.list --rseed 6 --addr 10.6.6.6")
        .status;
  };
  std::vector<Call> calls;
  {
    Folder f;
    ASSERT_EQ(prepared(f), 0);
    calls = callsOf(f.dir, killed);
  }
  ASSERT_GE(calls.size(), 10u) << "the change's calls were not traced";
  const std::string setUp = kBefore + "{C} {} \"10.6.6.6\"\n";
  int row = 0;
  for (const Call &c : calls) {
    const bool handEdit = row++ % 2 == 1;
    const std::string what = c.name + " " + std::to_string(c.when) + " (" + c.line + ")" +
                             (handEdit ? ", then a hand edit" : "");
    Folder f;
    ASSERT_EQ(prepared(f), 0) << what;
    const Logged kill =
        logged("cd '" + f.dir +
               "' && env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null "
               "-e inject=" +
               c.name + ":error=EIO:signal=KILL:when=" + std::to_string(c.when) + " " + killed);
    const std::string id = changeAdding(f.dir, 7);
    const bool ended = !id.empty() && endOf(f.dir, id);
    const bool installed = f.list() == setUp + added;
    EXPECT_TRUE(installed || f.list() == setUp) << what << ": the list is the one before or after";
    if (handEdit) std::ofstream(f.dir + "/admins.list", std::ios::app) << hand;
    const std::string before = f.list();
    const Logged next =
        logged("cd '" + f.dir + "' && " + kTool + " add admins.list --rseed 9 --addr 10.9.9.9");
    EXPECT_EQ(next.status, 0) << what << "\n" << next.output;
    EXPECT_EQ(f.kept(), before) << what << ": NAME- is the version the next change replaced";
    EXPECT_EQ(f.list(), before + "{N} {} \"10.9.9.9\"\n") << what << ": nothing else installed";
    EXPECT_EQ(f.names(), ".admins.list.journal\n.admins.list.lock\nadmins.list\nadmins.list-\n")
        << what << ": nothing left beside the list";
    // On record once, under its own verb and account, or not at all where it never acted.
    std::vector<std::string> lines;
    for (const Logged *run : {&kill, &next}) {
      for (const std::string &l : run->log) {
        // The outside change found after it names it as what the list was, and is no line of its.
        if (l.find(": found an outside change: ") != std::string::npos) continue;
        if ((!id.empty() && l.find(id) != std::string::npos) ||
            l.find("(registration seed 7, ") != std::string::npos)
          lines.push_back(l);
      }
    }
    std::string all;
    for (const std::string &l : lines) all += l + "\n";
    if (id.empty()) {
      EXPECT_FALSE(installed) << what;
      EXPECT_TRUE(lines.empty()) << what << ": never acted, never on record\n" << all;
    } else {
      const bool sentThenKilled =
          !ended && kill.log.size() == 1 &&
          kill.log[0].find(": add by root: installed: + ") != std::string::npos;
      ASSERT_EQ(lines.size(), sentThenKilled ? 2u : 1u) << what << "\n" << all;
      for (const std::string &l : lines)
        EXPECT_NE(l.find("\": add by root: "), std::string::npos) << what << "\n" << l;
      const std::string &last = lines.back();
      if (ended) {
        EXPECT_EQ(last.find(" cut short "), std::string::npos) << what << "\n" << all;
      } else if (sentThenKilled ||
                 (installed && last.find("; on record now") != std::string::npos)) {
        EXPECT_NE(last.find("its own line may have reached the log already); on record now "
                            "(change " +
                            id),
                  std::string::npos)
            << what << "\n"
            << all;
      } else if (installed) {
        EXPECT_NE(last.find(", completed now (change " + id), std::string::npos) << what << "\n"
                                                                                 << all;
      } else {
        EXPECT_NE(
            last.find("cut short before it installed anything: nothing was installed (change " +
                      id),
            std::string::npos)
            << what << "\n"
            << all;
      }
    }
    // history: every change, and the hand edit.
    const Logged shown = logged("cd '" + f.dir + "' && " + kTool + " history --json admins.list");
    const nlohmann::json doc = nlohmann::json::parse(shown.output, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << what << "\n" << shown.output;
    std::string kinds;
    for (const nlohmann::json &h : doc["changes"]) {
      const bool mine = h["id"] == id;
      kinds += h["kind"] == "outside" ? std::string("outside ")
               : mine ? std::string("killed:") + (h["installed"] == true ? "installed " : "not ")
                      : h["verb"].get<std::string>() + " ";
    }
    std::string expected = "add ";
    if (handEdit) expected += "outside ";
    if (!id.empty()) expected += std::string("killed:") + (installed ? "installed " : "not ");
    expected += "add ";
    EXPECT_EQ(kinds, expected) << what << "\n" << shown.output;
  }
}
