// --dry-run shows the change and writes nothing, not even the lock: it works for an account that
// cannot write the list's folder, and on a read-only file system, where the change itself
// cannot be made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "build-paths.h"
#include "edit-harness.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

}  // namespace

TEST(DryRun, WritesNothingAndTakesNoLock) {
  if (geteuid() != 0) GTEST_SKIP() << "another account and a read-only mount need root";
  const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  const std::string readOnly =
      "unshare -m sh -c 'mount --bind -o ro \"$1\" \"$1\" && shift && exec \"$@\"' sh <D> ";
  const std::string added =
      "+ <L>:2: slot 2: registration seed 7, PUID seed any, 10.7.7.7 to 10.7.7.7\n";
  const std::string removed =
      "- <L> (before):1: slot 1: registration seed 53, PUID seed any, 10.1.0.0 to 10.1.255.255   "
      "# Ada\n";
  const struct {
    const char *what;
    std::string wrap, args;
    int status;
    std::string shows;  // the change shown ("" for none)
    std::string said;   // the output's last line
  } cases[] = {
      {"add as nobody", asNobody, "add <L> --rseed 7 --addr 10.7.7.7 --dry-run", 0, added,
       "<L>: dry run: would change; nothing written\n"},
      {"remove as nobody", asNobody, "remove <L> 1 --dry-run --allow-empty", 0, removed,
       "<L>: dry run: would change; nothing written\n"},
      {"add on a read-only file system", readOnly, "add <L> --rseed 7 --addr 10.7.7.7 --dry-run", 0,
       added, "<L>: dry run: would change; nothing written\n"},
      {"remove on a read-only file system", readOnly, "remove <L> 1 --dry-run --allow-empty", 0,
       removed, "<L>: dry run: would change; nothing written\n"},
      // Without --dry-run, the lock is the first thing written, and cannot be.
      {"add as nobody, not a dry run", asNobody, "add <L> --rseed 7 --addr 10.7.7.7", 2, "",
       "tolvane-list: cannot open the lock file <D>/.admins.list.lock: Permission denied (run "
       "tolvane-list as root, or through sudo)\n"},
      {"add on a read-only file system, not a dry run", readOnly,
       "add <L> --rseed 7 --addr 10.7.7.7", 2, "",
       "tolvane-list: cannot open the lock file <D>/.admins.list.lock: Read-only file system\n"},
  };
  for (const auto &c : cases) {
    Folder f;
    ASSERT_EQ(chmod(f.dir.c_str(), 0755), 0);
    const auto fill = [&f](const std::string &text) { return placed(text, f); };
    const Outcome r = shell(fill(c.wrap) + launched(TOLVANE_LIST) + " " + fill(c.args));
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out;
    const std::string said = fill(c.said);
    EXPECT_TRUE(r.out.size() >= said.size() &&
                r.out.compare(r.out.size() - said.size(), said.size(), said) == 0)
        << c.what << "\n"
        << r.out;
    if (!c.shows.empty()) {
      EXPECT_NE(r.out.find(fill(c.shows)), std::string::npos) << c.what << "\n" << r.out;
    }
    EXPECT_EQ(slurp(f.list), kGood) << c.what;
    EXPECT_EQ(shell("ls -A '" + f.dir + "'").out, "admins.list\n") << c.what << ": nothing written";
  }
}
