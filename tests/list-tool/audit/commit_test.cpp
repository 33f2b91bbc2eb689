// A commit that nothing splits. Every signal another process may send, sent to the tool while
// the step that puts the new list in place is held (strace delays it), or while the step that
// keeps the version it replaced as NAME- is: the change installs, says so, ends as the change
// did, and is on record; NAME- is the version just replaced; nothing is left beside the list.
// And the tool killed at each step of an install: check names exactly what it left, and the
// next change puts it right (the change cut short on record too).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

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
  constexpr int kRuns = 3;
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

TEST(Commit, AnInstallKilledAtEachStepIsNamedByCheckAndPutRightByTheNextChange) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  const std::string added = kBefore + "{D} {} \"10.7.*.*\"\n";
  const std::string unused =
      "was made by a change cut short before it installed anything: the "
      "list is as it was (the next change removes it)";
  const struct {
    const char *step;     // the step where SIGKILL comes instead (strace's injection)
    bool installed;       // whether the list was replaced
    bool kept;            // whether NAME- is the version it replaced
    std::string left;     // what else lies beside the list, the suffix shown as S
    std::string checked;  // what check says of it
  } cases[] = {
      {"fsync:when=1", false, false, ".admins.list-.S\n.admins.list.S\n", unused},
      {"fsync:when=2", false, false, ".admins.list-.S\n.admins.list.S\n", unused},
      {"renameat2:when=1", false, false, ".admins.list-.S\n.admins.list.S\n", unused},
      {"renameat:when=1", true, false, ".admins.list-.S\n.admins.list.S\n",
       "a change was cut short after it installed the list: DIR/admins.list- is the version "
       "before the one it replaced, which lies in DIR/.admins.list-."},
      {"unlinkat:when=1", true, true, ".admins.list.S\n",
       "is the old list of a change cut short after it had kept it as DIR/admins.list- (the next "
       "change removes it)"},
      {"fsync:when=3", true, true, "", ""},
  };
  const std::regex suffix(R"(\.admins\.list(-?)\.[A-Za-z0-9]{6}\n)");
  for (const auto &c : cases) {
    Folder f;
    const std::string older = f.kept();
    std::string inject = c.step;
    inject.replace(inject.find(':'), 1, ":error=EIO:signal=KILL:");
    logged("cd '" + f.dir +
           "' && env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e inject=" + inject +
           " " + kTool + " add admins.list --rseed 7 --addr '10.7.*.*'");
    EXPECT_EQ(f.list(), c.installed ? added : kBefore) << c.step;
    EXPECT_EQ(f.kept(), c.kept ? kBefore : older) << c.step;
    std::string left = f.names();
    for (const std::string name : {".admins.list.lock\n", "admins.list\n", "admins.list-\n"})
      left.erase(left.find(name), name.size());
    EXPECT_EQ(std::regex_replace(left, suffix, ".admins.list$1.S\n"), c.left) << c.step;
    // check names it exactly, and the next change puts it right.
    const Logged checked = logged("cd '" + f.dir + "' && " + kTool + " check admins.list");
    std::string said = c.checked;
    for (size_t at; (at = said.find("DIR")) != std::string::npos;) said.replace(at, 3, f.dir);
    EXPECT_EQ(checked.status, said.empty() ? 0 : 1) << c.step << "\n" << checked.output;
    EXPECT_NE(checked.output.find(said), std::string::npos) << c.step << "\n" << checked.output;
    const std::string now = f.list();
    const Logged next =
        logged("cd '" + f.dir + "' && " + kTool + " add admins.list --rseed 9 --addr 10.9.9.9");
    EXPECT_EQ(next.status, 0) << c.step << "\n" << next.output;
    EXPECT_EQ(f.kept(), now) << c.step << ": NAME- is the version the next change replaced";
    EXPECT_EQ(f.names(), ".admins.list.lock\nadmins.list\nadmins.list-\n") << c.step;
    // The change that was cut short after it installed is on record now.
    EXPECT_EQ(linesWith(next.log,
                        ": add by root: installed by a change that was cut short, "
                        "found now: + line 3 slot 3 (registration seed 7, PUID seed "
                        "any, 10.7.0.0 to 10.7.255.255)"),
              std::string(c.step) == "renameat:when=1" ? 1 : 0)
        << c.step;
  }
}
