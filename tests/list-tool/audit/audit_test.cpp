// Every change on record: tolvane-list writes one line to the system log (authentication-private
// facility) for each change it installs or refuses, and keeps the previous version as NAME-.
// The log is caught at a private /dev/log (private-log.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "build-paths.h"
#include "file-bytes.h"
#include "launch.h"
#include "private-log.h"

namespace {

// A folder of the test's own holding the example list; removed at the end.
struct Folder {
  std::string dir;
  std::string list;
  Folder() {
    char name[] = "/tmp/tolvane-audit-XXXXXX";
    dir = mkdtemp(name) != nullptr ? name : "";
    list = dir + "/admins.list";
    std::ofstream(list, std::ios::binary) << slurp(TOLVANE_EXAMPLE);
    chmod(list.c_str(), 0640);
  }
  ~Folder() { std::system(("rm -rf '" + dir + "'").c_str()); }  // NOLINT(cert-env33-c)
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
};

const std::string kTool = launched(TOLVANE_LIST);
constexpr const char *kPriority = "<85>";  // authpriv.notice

TEST(Audit, EachChangeLeavesOneLineAndThePreviousVersion) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const std::string example = slurp(f.list);
  const std::string tag = std::string(kPriority);

  // add
  Logged r = logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(
      r.log,
      std::vector<std::string>{tag + "\"" + f.list +
                               "\": add by root: installed: + line 20 slot 4 (registration "
                               "seed 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # \"Kay\")"})
      << r.output;
  EXPECT_EQ(slurp(f.list + "-"), example) << "the previous version";
  const std::string afterAdd = slurp(f.list);

  // the same add again: nothing changes, nothing is logged
  r = logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.log.empty()) << r.log[0];

  // remove, by the record's values, as a delegate of sudo would
  r = logged("SUDO_UID=65534 SUDO_GID=65534 SUDO_USER=nobody " + kTool + " remove " + f.list +
             " --rseed 816 --addr '172.16.*.*'");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log, std::vector<std::string>{tag + "\"" + f.list +
                                            "\": remove by root for nobody (sudo): installed: - "
                                            "line 19 slot 3 (registration seed 816, PUID seed "
                                            "any, 172.16.0.0 to 172.16.255.255 # \"Linus\")"})
      << r.output;
  EXPECT_EQ(slurp(f.list + "-"), afterAdd);

  // edit: the editor moves Kay's line to the top
  const std::string afterRemove = slurp(f.list);
  r = logged("EDITOR='sed -i -e \"/# Kay/d\" -e \"1i {GGG} {} \\\"172.16.*.*\\\"   # Kay\"' " +
             kTool + " edit " + f.list);
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log.size(), 1u) << r.output;
  EXPECT_EQ(r.log[0],
            tag + "\"" + f.list +
                "\": edit by root: installed: ~ line 1 slot 1, was line 19 slot 3 (registration "
                "seed 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # \"Kay\"); ~ line 16 "
                "slot 2, was line 15 slot 1 (registration seed 53, PUID seed any, 10.1.0.0 to "
                "10.1.255.255 # \"Ada\"); ~ line 18 slot 3, was line 17 slot 2 (registration seed "
                "2712, PUID "
                "seed 83, 192.168.7.21 to 192.168.7.21 # \"Grace\")");
  EXPECT_EQ(slurp(f.list + "-"), afterRemove);

  // A refusal is logged as one.
  const std::string current = slurp(f.list);
  chmod(f.dir.c_str(), 0777);
  r = logged(kTool + " add " + f.list + " --rseed 5 --addr 10.3.3.3");
  chmod(f.dir.c_str(), 0700);
  ASSERT_EQ(r.status, 1) << r.output;
  ASSERT_EQ(r.log,
            std::vector<std::string>{
                tag + "\"" + f.list + "\": add by root: refused: \"the folder " + f.dir +
                " on the list's path can be written by everyone, who can replace the list "
                "and so make anyone a host administrator (chmod go-w " +
                f.dir + ")\" [folder-writable]"})
      << r.output;
  EXPECT_EQ(slurp(f.list), current);

  // The previous version keeps the list's owner, group and mode, and undoes the last change.
  struct stat list {
  }, kept{};
  ASSERT_EQ(stat(f.list.c_str(), &list), 0);
  ASSERT_EQ(stat((f.list + "-").c_str(), &kept), 0);
  EXPECT_EQ(kept.st_uid, list.st_uid);
  EXPECT_EQ(kept.st_gid, list.st_gid);
  EXPECT_EQ(kept.st_mode & 07777, 0640u);
  // undo makes it the list again, on record, and keeps the list it replaced as NAME-.
  r = logged(kTool + " undo " + f.list);
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(
      r.log,
      std::vector<std::string>{
          tag + "\"" + f.list +
          "\": undo by root: installed: ~ line 15 slot 1, was line 16 slot 2 (registration "
          "seed 53, PUID seed any, 10.1.0.0 to 10.1.255.255 # \"Ada\"); ~ line 17 slot 2, was "
          "line 18 "
          "slot 3 (registration seed 2712, PUID seed 83, 192.168.7.21 to 192.168.7.21 # "
          "\"Grace\"); ~ line 19 slot 3, was line 1 slot 1 (registration seed "
          "366, PUID seed any, 172.16.0.0 to 172.16.255.255 # \"Kay\")"})
      << r.output;
  EXPECT_EQ(slurp(f.list), afterRemove);
  EXPECT_EQ(slurp(f.list + "-"), current);
}

// The tests' own /dev/log (tolvane-private-log, around every test that makes changes):
// a change made under it sends no line to the /dev/log around it, where a logger listens, and
// is made all the same.
TEST(Audit, UnderTheTestsPrivateLogNoLineReachesTheLogAround) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const Logged r = logged(std::string(TOLVANE_LAUNCH) + " " + TOLVANE_PRIVATE_LOG_PROGRAM + " " +
                          kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(f.list + ": changed: installed"), std::string::npos) << r.output;
  EXPECT_EQ(r.log, std::vector<std::string>{});
}

// Text from a list (a comment a delegate wrote) cannot pass for the log's own escapes: a
// backslash is escaped too, so "\x0A" typed in a comment never reads as a line break followed by
// a second, forged entry.
TEST(Audit, ABackslashInACommentIsEscapedSoNoTextPassesForAnEscape) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const Logged r =
      logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note 'Kay\\x0A" +
             f.list + ": remove by root: installed: - line 15'");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log, std::vector<std::string>{std::string(kPriority) + "\"" + f.list +
                                            "\": add by root: installed: + line 20 slot 4 "
                                            "(registration seed 366, PUID seed any, 172.16.0.0 "
                                            "to 172.16.255.255 # \"Kay\\x5Cx0A" +
                                            f.list + ": remove by root: installed: - line 15\")"})
      << r.output;
}

}  // namespace

// An edit installed anyway at a terminal, with an error the list did not have, is on record as
// one: "installed despite 1 new error", in the log and in what the operator is shown.
TEST(Audit, AnInstallAnywayIsOnRecordAsOne) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const std::string editor = f.dir + "/bad.sh";
  std::ofstream(editor) << "#!/bin/sh\nprintf '{fa} {} \"10.9.*.*\"\\n' >>\"$1\"\n";
  chmod(editor.c_str(), 0755);
  // A terminal of the private /dev's own, where the operator answers "i".
  const Logged r = logged(
      "mkdir /dev/pts && mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts && "
      "ln -s pts/ptmx /dev/ptmx && (sleep 1; printf 'i\\n') | script -qec \"EDITOR=" +
      editor + " " + kTool + " edit " + f.list + "\" /dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(f.list +
                          ": changed: installed despite 1 new error (the previous "
                          "version is " +
                          f.list + "-)"),
            std::string::npos)
      << r.output;
  ASSERT_EQ(r.log, std::vector<std::string>{std::string(kPriority) + "\"" + f.list +
                                            "\": edit by root: installed despite 1 new error: "
                                            "comments and layout only, the same table"})
      << r.output;
  EXPECT_EQ(slurp(f.list), slurp(TOLVANE_EXAMPLE) + "{fa} {} \"10.9.*.*\"\n");
}
