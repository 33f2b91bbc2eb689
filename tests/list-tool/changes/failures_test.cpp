// Failures told as they are, made to happen with strace's fault injection: the folder's sync
// after the rename fails (the new list is in place, but not yet safe: exit 2, and said so), the
// new file's sync fails (nothing replaced), and the lock cannot be taken (ENOLCK on a file
// system without locks, or another error), each named for what it is. And a terminate, hang-up
// or interrupt that comes while the list is installed (the folder's sync made slow) waits for
// the install, and never makes the tool say that the list it installed is unchanged. A
// permission refused to an operator without root says to run the tool as root or through sudo.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "build-paths.h"
#include "edit-harness.h"
#include "launch.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

const std::string kAdded = "{D} {} \"10.7.7.7\"\n";  // what add --rseed 7 --addr 10.7.7.7 writes

// The tool's command for `args` (<L> the list), with an editor that adds kMended.
std::string command(const Folder &f, const std::string &args) {
  return "env EDITOR='" + f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\"") + "' " +
         launched(TOLVANE_LIST) + " " + placed(args, f);
}

// How many fsync calls the change makes: the last one is its end's in the journal, the one
// before it its folder's.
int syncs(const Folder &f, const std::string &args) {
  const std::string trace = f.dir + "/trace.sh";  // a name the folder's checks pass over
  shell(kStrace + "-e trace=fsync -o '" + trace + "' " + command(f, args));
  const Outcome n = shell("grep -c 'fsync(' '" + trace + "'; rm -f '" + trace + "'");
  return std::stoi(n.out);
}

}  // namespace

TEST(Failures, AFailedSyncOfTheFolderAfterTheRenameSaysTheListIsInPlaceButNotSafe) {
  const struct {
    const char *args;
    std::string after;
  } cases[] = {
      {"add <L> --rseed 7 --addr 10.7.7.7", kGood + kMended + kAdded},
      {"remove <L> 2", kGood},
      {"edit <L>", kGood + kMended + kMended},
      {"add <D>/new.list --create --rseed 7 --addr 10.7.7.7", kAdded},
  };
  for (const auto &c : cases) {
    Folder f;
    spill(f.list, kGood + kMended);
    const int n = syncs(f, c.args);
    ASSERT_GE(n, 4) << c.args << ": the journal's, the new file's, the folder's, the journal's";
    spill(f.list, kGood + kMended);
    shell("cd '" + f.dir +
          "' && rm -f new.list admins.list- .admins.list.journal .new.list.journal");
    const Outcome r =
        shell(kStrace + "-o /dev/null -e inject=fsync:error=EIO:when=" + std::to_string(n - 1) +
              " " + command(f, c.args));
    const std::string list = placed(c.args, f).substr(placed(c.args, f).find(' ') + 1);
    const std::string file = list.substr(0, list.find(' '));
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_EQ(slurp(file), c.after) << c.args << ": the new list is in place";
    EXPECT_NE(r.out.find(file + ": changed: installed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tolvane-list: the new list is in place, but its folder " + f.dir +
                         " could not be written to disk (Input/output error): after a crash "
                         "the old list may be back\n"),
              std::string::npos)
        << c.args << "\n"
        << r.out;
    if (file == f.list) {
      EXPECT_TRUE(f.strays().empty()) << c.args;
    } else {
      EXPECT_EQ(shell("ls -A '" + f.dir + "'").out,
                ".new.list.journal\n.new.list.lock\nadd.sh\nadmins.list\nnew.list\n");
    }
  }
}

// A change whose journal entry, or whose new file, cannot be written to disk replaces nothing:
// the first fsync is the journal's, the second the new file's.
TEST(Failures, AFailedSyncOfTheJournalOrTheNewFileReplacesNothing) {
  const struct {
    int when;
    std::string said;
  } syncsFailing[] = {
      {1,
       "tolvane-list: cannot write the journal <D>/.admins.list.journal to disk: Input/output "
       "error\n"},
      {2, "tolvane-list: cannot install <L>: cannot write <D>/.admins.list."},
  };
  for (const auto &c : syncsFailing) {
    for (const char *args : {"add <L> --rseed 7 --addr 10.7.7.7", "remove <L> 2"}) {
      Folder f;
      spill(f.list, kGood + kMended);
      const Outcome r =
          shell(kStrace + "-o /dev/null -e inject=fsync:error=EIO:when=" + std::to_string(c.when) +
                " " + command(f, args));
      EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
      EXPECT_EQ(slurp(f.list), kGood + kMended) << args;
      EXPECT_EQ(r.out.find(placed(c.said, f)), 0u) << args << "\n" << r.out;
      if (c.when == 2) {
        EXPECT_NE(r.out.find(" to disk: Input/output error; the list is unchanged\n"),
                  std::string::npos)
            << args << "\n"
            << r.out;
      }
      EXPECT_EQ(r.out.find("changed: installed"), std::string::npos) << r.out;
      EXPECT_TRUE(f.strays().empty()) << args << ": the new file is removed";
    }
  }
}

TEST(Failures, ALockThatCannotBeTakenSaysWhy) {
  const struct {
    const char *error;
    std::string why;
  } cases[] = {
      {"ENOLCK", "No locks available (the file system gives no locks)"},
      {"EIO", "Input/output error"},
      {"EINVAL", "Invalid argument"},
  };
  for (const auto &c : cases) {
    for (const char *args : {"add <L> --rseed 7 --addr 10.7.7.7", "remove <L> 2", "edit <L>"}) {
      Folder f;
      spill(f.list, kGood + kMended);
      const Outcome r =
          shell(kStrace + "-o /dev/null -e inject=flock:error=" + c.error + " " + command(f, args));
      EXPECT_EQ(r.status, 2) << c.error << " " << args;
      EXPECT_EQ(r.out, "tolvane-list: cannot lock " + f.dir + "/.admins.list.lock: " + c.why + "\n")
          << c.error << " " << args;
      EXPECT_EQ(slurp(f.list), kGood + kMended);
      EXPECT_TRUE(f.strays().empty()) << c.error << " " << args;
    }
  }
}

TEST(Failures, AnEndingSignalWhileTheListIsInstalledLetsTheInstallFinishAsSaid) {
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
    Folder f;
    const int n = syncs(f, "edit <L>");
    spill(f.list, kGood);
    shell("rm -f '" + f.list + "-'");
    // The folder's sync, the last step, takes 1.5 s: the signal comes while the list is installed.
    const std::string pid = f.dir + "/pid.sh";
    Outcome r;
    std::thread change([&] {
      r = shell(kStrace +
                "-o /dev/null -e inject=fsync:delay_exit=1500000:when=" + std::to_string(n) +
                " sh -c 'echo $$ >\"$0\"; exec \"$@\"' '" + pid + "' " + command(f, "edit <L>"));
    });
    for (int i = 0; i < 1000 && slurp(f.list) == kGood; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int tool = 0;
    std::ifstream(pid) >> tool;
    ASSERT_GT(tool, 0);
    kill(tool, sig);
    change.join();
    EXPECT_EQ(r.status, 0) << sig << ": the change is done, and said to be\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood + kMended) << sig;
    EXPECT_NE(r.out.find(f.list + ": changed: installed"), std::string::npos) << sig << r.out;
    EXPECT_EQ(r.out.find("unchanged"), std::string::npos) << sig << r.out;
    EXPECT_TRUE(f.strays().empty()) << sig << ": the copy was installed, and goes";
  }
}

TEST(Failures, APermissionRefusedSaysToRunAsRootOrThroughSudo) {
  if (geteuid() != 0) GTEST_SKIP() << "another account needs root";
  const std::string hint = ": Permission denied (run tolvane-list as root, or through sudo)";
  const struct {
    const char *args;  // after the tool's name, <L> the list
    int status;
    const char *said;  // the end of what it says
  } cases[] = {
      {"check <L> --content-only", 2, "error: cannot read <L>"},
      {"match <L> --rseed 53 --ip 10.1.2.3", 2, "tolvane-list: cannot read <L>"},
      {"diff <L> <L>", 2, "tolvane-list: cannot read <L>"},
      {"add <L> --rseed 7 --addr 10.7.7.7", 2,
       "tolvane-list: cannot open the lock file <D>/.admins.list.lock"},
  };
  for (const auto &c : cases) {
    Folder f;
    ASSERT_EQ(chmod(f.dir.c_str(), 0755), 0);
    ASSERT_EQ(chmod(f.list.c_str(), 0600), 0);
    const Outcome r = shell("setpriv --reuid=65534 --regid=65534 --clear-groups " +
                            launched(TOLVANE_LIST) + " " + placed(c.args, f));
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(placed(c.said, f) + hint), std::string::npos) << c.args << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood) << c.args;
  }
}
