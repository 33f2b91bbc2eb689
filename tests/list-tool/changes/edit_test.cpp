// tolvane-list edit, driven as an operator would: with a scripted editor, without a terminal
// and at a pseudo-terminal for its prompt, alone and against a second edit of the same list.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "edit-harness.h"

using namespace harness;  // the tests' own folder, runs and terminal

TEST(Edit, ACleanEditIsInstalledByRenameKeepingOwnerAndMode) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the list another owner needs root";
  Folder f;
  ASSERT_EQ(chown(f.list.c_str(), 1234, 2345), 0);
  ASSERT_EQ(chmod(f.list.c_str(), 0640), 0);
  ASSERT_EQ(link(f.list.c_str(), (f.dir + "/old").c_str()), 0);  // the old file, as a reload has it
  const struct stat before = statOf(f.list);
  const Outcome r = edit(f, f.editor("add.sh", "printf '{GA} {} \"10.2.*.*\"   # Kay\\n' >>\"$1\""),
                         "--as 1234 --break-links");
  EXPECT_EQ(r.status, 0) << r.out;
  const struct stat after = statOf(f.list);
  EXPECT_NE(after.st_ino, before.st_ino) << "a new file, renamed over the list";
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 2345u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(slurp(f.list), kGood + "{GA} {} \"10.2.*.*\"   # Kay\n");
  EXPECT_EQ(slurp(f.dir + "/old"), kGood) << "the old file is never truncated or rewritten";
  EXPECT_EQ(r.out, "+ " + f.list +
                       ":2: slot 2: registration seed 54, PUID seed any, 10.2.0.0 to "
                       "10.2.255.255   # Kay\n" +
                       f.list + " (before) -> " + f.list +
                       ": 1 added, 0 removed, 0 moved; 1 record before, 2 after; who gains: 1 "
                       "record's users; who loses: none\n" +
                       f.list + ": changed: installed (the previous version is " + f.list + "-)\n");
  EXPECT_TRUE(f.strays().empty());
  EXPECT_EQ(slurp(f.list + "-"), kGood) << "the previous version is kept";
  EXPECT_EQ(statOf(f.list + "-").st_uid, 1234u);
  EXPECT_EQ(statOf(f.list + "-").st_mode & 07777, 0640u);
}

TEST(Edit, AListOwnedByAnotherAccountIsRefusedUnlessNamed) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the list another owner needs root";
  Folder f;
  ASSERT_EQ(chown(f.list.c_str(), 1234, 2345), 0);
  const Outcome r = edit(f, f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\""));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out, f.list +
                       ": error: the list is owned by 1234, not by root or you: its owner "
                       "can make anyone a host administrator (chown root " +
                       f.list + ") [list-owner]\n");
  EXPECT_EQ(slurp(f.list), kGood);
  EXPECT_TRUE(f.strays().empty()) << "refused before anything is written";
}

TEST(Edit, AnEditWithErrorsIsRefusedWithoutATerminal) {
  Folder f;
  const struct stat before = statOf(f.list);
  const Outcome r = edit(f, f.editor("bad.sh", "printf '%s' '" + kBad + "' >>\"$1\""));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("error: 'f' is not a valid character"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(f.list + ": error: the new list has 1 error that the list does not have: "
                                "nothing written [new-errors]\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(slurp(f.list), kGood);
  EXPECT_EQ(statOf(f.list).st_ino, before.st_ino);
  const std::vector<std::string> kept = f.strays();
  ASSERT_EQ(kept.size(), 1u) << "the edit is kept";
  EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood + kBad);
  EXPECT_NE(r.out.find(f.list + ": your edit is in " + f.dir + "/" + kept[0] + "\n"),
            std::string::npos)
      << r.out;
}

TEST(Edit, AnUnchangedCopyWritesNothing) {
  Folder f;
  const struct stat before = statOf(f.list);
  const Outcome r = edit(f, "sleep 1.2; true");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, f.list + ": unchanged: nothing written\n");
  const struct stat after = statOf(f.list);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_TRUE(f.strays().empty());
}

TEST(Edit, AnEditorThatReturnsAtOnceWithoutAChangeGetsAHint) {
  Folder f;
  const Outcome r = edit(f, "true");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, f.list +
                       ": unchanged: the editor returned at once without a change: a graphical "
                       "editor needs its wait option, such as 'gedit --wait' or 'code --wait'; "
                       "nothing written\n");
  EXPECT_TRUE(f.strays().empty());
}

TEST(Edit, AFailingEditorLeavesTheListAsItWas) {
  Folder f;
  const Outcome r = edit(f, f.editor("fail.sh", "printf 'junk' >>\"$1\"; exit 3"));
  EXPECT_EQ(r.status, 2) << r.out;
  const std::vector<std::string> kept = f.strays();
  ASSERT_EQ(kept.size(), 1u) << "the edit is kept";
  EXPECT_EQ(r.out,
            "tolvane-list: the editor (EDITOR) exited with status 3: the list is "
            "unchanged; your edit is in " +
                f.dir + "/" + kept[0] + "\n");
  EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood + "junk");
  EXPECT_EQ(slurp(f.list), kGood);
}

// An editor that fails (vim's :cq, a command not found, a crash) with the copy as it was leaves
// no copy behind and names none; one that left unsaved work beside the copy (vim's swap file)
// keeps the copy for its recovery, and names both.
TEST(Edit, AFailingEditorThatChangedNothingLeavesNoCopy) {
  const std::string removed = ": the list is unchanged, and the copy held no change (removed)\n";
  const struct {
    std::string body;    // the editor script
    std::string before;  // what the shell that runs the editor says first
    std::string said;    // what the tool says of the editor, up to the copy's name when it is kept
    bool kept;           // the copy is kept
  } cases[] = {
      {"exit 1", "", "exited with status 1" + removed, false},
      {"exit 127", "", "exited with status 127 (not found?)" + removed, false},
      // A crash: the shell that runs the editor says "Killed".
      {"kill -KILL $$", "Killed\n", "exited with status 137 (ended by SIGKILL?)" + removed, false},
      // A crash with unsaved work beside the copy, as vim leaves it in its swap file.
      {"d=$(dirname \"$1\"); b=$(basename \"$1\"); : >\"$d/.$b.swp\"; kill -KILL $$", "Killed\n",
       "exited with status 137 (ended by SIGKILL?): the list is unchanged; your edit is in ", true},
  };
  for (const auto &c : cases) {
    Folder f;
    const Outcome r = edit(f, f.editor("quit.sh", c.body));
    EXPECT_EQ(r.status, 2) << c.body << "\n" << r.out;
    std::vector<std::string> kept = f.strays();
    if (c.kept) {
      ASSERT_EQ(kept.size(), 2u) << c.body << "\n" << r.out;
      if (kept[0][0] == '.' && kept[0].size() > kept[1].size()) std::swap(kept[0], kept[1]);
      EXPECT_EQ(kept[1], "." + kept[0] + ".swp") << c.body;
      EXPECT_EQ(r.out, c.before + "tolvane-list: the editor (EDITOR) " + c.said + f.dir + "/" +
                           kept[0] + ", and unsaved work may be in " + f.dir + "/" + kept[1] + "\n")
          << c.body;
      EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood) << c.body;
    } else {
      EXPECT_TRUE(kept.empty()) << c.body << "\n" << r.out;
      EXPECT_EQ(r.out, c.before + "tolvane-list: the editor (EDITOR) " + c.said) << c.body;
    }
    EXPECT_EQ(slurp(f.list), kGood) << c.body;
  }
}

TEST(Edit, ASecondEditOfTheSameListIsRefusedWhileTheFirstHoldsIt) {
  Folder f;
  const pid_t first = startWaitingEdit(f);
  ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
  const Outcome second = edit(f, f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\""));
  EXPECT_EQ(second.status, 2);
  EXPECT_EQ(second.out, "tolvane-list: " + f.list + " is being changed by another tolvane-list (" +
                            lockHolder(f, first) +
                            "): try again when it is done, or wait for it with --wait\n");
  std::ofstream(f.dir + "/go") << "";
  int st = 0;
  waitpid(first, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "the first edit ends: no change";
  EXPECT_EQ(slurp(f.list), kGood);
}

TEST(Edit, TheLockOfAKilledEditBlocksNobody) {
  Folder f;
  const pid_t first = startWaitingEdit(f);
  ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  const Outcome r = edit(f, f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\""));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(slurp(f.list), kGood + kMended);
  std::ofstream(f.dir + "/go") << "";  // the killed edit's editor ends too
}

TEST(Edit, AtATerminalEachAnswerDoesWhatItSays) {
  // The editor adds a bad line the first time, and mends it the second time.
  const struct {
    const char *answers;
    int status;
    std::string content;
    size_t kept;  // copies kept for the operator
  } cases[] = {
      {"x", 1, kGood, 1},            // leave the list as it was; the edit is kept
      {"i", 0, kGood + kBad, 0},     // install anyway
      {"e", 0, kGood + kMended, 0},  // edit again, then the mended copy installs
      {"z\nx", 1, kGood, 1},         // an answer that is none of them asks again
  };
  for (const auto &c : cases) {
    Folder f;
    const std::string editor =
        f.editor("twice.sh", "if grep -q 'lower case' \"$1\"; then sed -i 's/{fa}.*/" +
                                 kMended.substr(0, kMended.size() - 1) +
                                 "/' \"$1\"; else printf '%s' '" + kBad + "' >>\"$1\"; fi");
    std::string answers = c.answers;
    answers.erase(std::remove(answers.begin(), answers.end(), '\n'), answers.end());
    const Outcome r = editAtTerminal(f, editor, answers);
    EXPECT_EQ(r.status, c.status) << c.answers << ":\n" << r.out;
    EXPECT_EQ(slurp(f.list), c.content) << c.answers;
    EXPECT_NE(r.out.find("What now? (e) edit again, (x) leave the list as it was, (i) install "
                         "anyway: "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(f.strays().size(), c.kept) << c.answers;
  }
}
