// An edit that is not installed is kept and named, whatever stops it: a list another program
// changed meanwhile, a list that cannot be replaced (bind-mounted, immutable), attributes that
// cannot be carried over, a copy emptied without leave. The list ends byte for byte as it was
// (or as the other program left it), and the summary of a change is never printed for a change
// that was not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "build-paths.h"
#include "edit-harness.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

const std::string kPrevious = "# the version before the list's last change\n";
const std::string kOther = "{HA} {} \"10.8.*.*\"   # another program\n";

// The editor's part: the record added to the copy, after `meanwhile` ran.
std::string editorAdding(const Folder &f, const std::string &meanwhile) {
  return f.editor("edit.sh", meanwhile + "\nprintf '%s' '" + kMended + "' >>\"$1\"");
}

// The one copy left in the folder, checked against `content`, and the line that names it.
void expectKept(const Folder &f, const Outcome &r, const std::string &content,
                const std::string &what) {
  const std::vector<std::string> kept = f.strays();
  ASSERT_EQ(kept.size(), 1u) << what << ": the edit is kept\n" << r.out;
  EXPECT_EQ(slurp(f.dir + "/" + kept[0]), content) << what;
  EXPECT_NE(r.out.find(f.list + ": your edit is in " + f.dir + "/" + kept[0] + "\n"),
            std::string::npos)
      << what << "\n"
      << r.out;
}

// Nothing in the output says the change was installed.
void expectNoSummary(const Outcome &r, const std::string &what) {
  EXPECT_EQ(r.out.find("changed: installed"), std::string::npos) << what << "\n" << r.out;
  EXPECT_EQ(r.out.find("\n+ "), std::string::npos) << what << "\n" << r.out;
  EXPECT_NE(r.out.rfind("+ ", 0), 0u) << what << "\n" << r.out;
}

}  // namespace

TEST(Keep, AListChangedWhileTheEditorRanIsNeverOverwritten) {
  const std::string refused =
      ": error: the list changed since it was read (another program wrote it): nothing "
      "written; look at it and make the change again [changed-meanwhile]\n";
  const struct {
    const char *what;
    std::string meanwhile;  // what another program does to the list ($L)
    bool exists;            // whether the list is there after
    std::string after;      // the list as the other program left it
  } cases[] = {
      {"a line appended", "printf '%s' '" + kOther + "' >>\"$L\"", true, kGood + kOther},
      {"a new file renamed over it",
       "printf '%s' '" + kOther + "' >\"$L.new\"; mv \"$L.new\" \"$L\"", true, kOther},
      {"the same size, one byte changed in place",
       "printf 'B' | dd of=\"$L\" bs=1 seek=2 conv=notrunc 2>/dev/null", true,
       "{FB" + kGood.substr(3)},
      {"removed", "rm \"$L\"", false, ""},
      {"truncated", ": >\"$L\"", true, ""},
  };
  for (const auto &c : cases) {
    Folder f;
    const Outcome r = edit(f, editorAdding(f, "L='" + f.list + "'; " + c.meanwhile));
    EXPECT_EQ(r.status, 1) << c.what << "\n" << r.out;
    EXPECT_EQ(access(f.list.c_str(), F_OK) == 0, c.exists) << c.what;
    EXPECT_EQ(slurp(f.list), c.after) << c.what << ": as the other program left it";
    EXPECT_NE(r.out.find(f.list + refused), std::string::npos) << c.what << "\n" << r.out;
    expectKept(f, r, kGood + kMended, c.what);
    expectNoSummary(r, c.what);
  }
}

TEST(Keep, AListTouchedButNotChangedTakesTheEdit) {
  Folder f;
  const Outcome r = edit(f, editorAdding(f, "touch -d '2001-02-03' '" + f.list + "'"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(slurp(f.list), kGood + kMended);
  EXPECT_TRUE(f.strays().empty());
}

TEST(Keep, AListThatCannotBeReplacedKeepsTheEdit) {
  if (geteuid() != 0) GTEST_SKIP() << "bind mounts and chattr +i need root";
  const struct {
    const char *what;
    std::string setup, wrap, teardown;  // shell commands: <D> the folder, <L> the list
    std::string read;                   // the list as the tool reads it
    std::string why;
  } cases[] = {
      // Another file mounted on the list, in a mount namespace of the test's own.
      {"bind-mounted", "printf '%s' '" + kOther + "' ><D>/other",
       "unshare -m sh -c 'mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"' sh <D>/other <L>",
       "", kOther, "Device or resource busy"},
      {"immutable", "chattr +i <L>", "", "chattr -i <L>", kGood, "Operation not permitted"},
  };
  for (const auto &c : cases) {
    Folder f;
    const auto fill = [&f](const std::string &text) { return placed(text, f); };
    spill(f.list + "-", kPrevious);
    ASSERT_EQ(shell(fill(c.setup)).status, 0) << c.what;
    const Outcome r = shell(fill(c.wrap) + " env EDITOR='" + editorAdding(f, "") + "' " +
                            launched(TOLVANE_LIST) + " edit " + f.list);
    if (!c.teardown.empty()) shell(fill(c.teardown));
    EXPECT_EQ(r.status, 2) << c.what << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood) << c.what << ": the list is as it was";
    EXPECT_EQ(slurp(f.list + "-"), kPrevious) << c.what << ": and so is its previous version";
    EXPECT_NE(
        r.out.find("tolvane-list: cannot install " + f.list + ": cannot rename the new list over " +
                   f.list + ": " + c.why + "; the list is unchanged\n"),
        std::string::npos)
        << c.what << "\n"
        << r.out;
    expectKept(f, r, c.read + kMended, c.what);
    expectNoSummary(r, c.what);
  }
}

TEST(Keep, AttributesThatCannotBeCarriedOverRefuseTheInstall) {
  Folder f;
  ASSERT_EQ(shell("setfattr -n user.origin -v ops-desk '" + f.list + "'").status, 0);
  const Outcome r =
      shell(kStrace + "-o /dev/null -e inject=fsetxattr:error=EOPNOTSUPP env EDITOR='" +
            editorAdding(f, "") + "' " + launched(TOLVANE_LIST) + " edit '" + f.list + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(slurp(f.list), kGood);
  EXPECT_NE(
      r.out.find(f.list + ": error: cannot give the new list the old one's extended attribute "
                          "user.origin: Operation not supported: nothing written [attributes]\n"),
      std::string::npos)
      << r.out;
  expectKept(f, r, kGood + kMended, "fsetxattr fails");
  expectNoSummary(r, "fsetxattr fails");
}

TEST(Keep, AnEmptiedCopyNeedsLeaveWithoutATerminal) {
  const struct {
    const char *options;
    int status;
    std::string content;
  } cases[] = {
      {"", 1, kGood},            // refused, the emptied copy kept
      {"--allow-empty", 0, ""},  // installed as asked
  };
  for (const auto &c : cases) {
    Folder f;
    const Outcome r = edit(f, f.editor("empty.sh", ": >\"$1\""), c.options);
    EXPECT_EQ(r.status, c.status) << c.options << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), c.content) << c.options;
    if (c.status == 0) {
      EXPECT_TRUE(f.strays().empty());
      EXPECT_NE(r.out.find(f.list + ": changed: installed"), std::string::npos) << r.out;
      continue;
    }
    EXPECT_NE(
        r.out.find(f.list + ": error: the new list gives no record: the plug-in will recognise "
                            "nobody (give --allow-empty to install it anyway) [no-records]\n"),
        std::string::npos)
        << r.out;
    expectKept(f, r, "", "emptied");
    expectNoSummary(r, "emptied");
  }
}

TEST(Keep, ACopyLongerThanThePluginReadsIsKeptWholeNeverInstalledCutShort) {
  // 70,000 bytes of comments after the record: past the 65,536 the plug-in reads. Even told to
  // install anyway at a terminal, the tool installs nothing, and the copy is kept whole.
  const std::string comment = "# " + std::string(97, 'x');
  std::string longer = kGood;
  for (int i = 0; i < 700; ++i) longer += comment + "\n";
  for (const bool terminal : {false, true}) {
    Folder f;
    const std::string editor = f.editor("long.sh", "yes '" + comment + "' | head -n 700 >>\"$1\"");
    Outcome r = terminal ? editAtTerminal(f, editor, "i") : edit(f, editor, "");
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
    const char *what = terminal ? "at a terminal" : "without one";
    EXPECT_EQ(r.status, 1) << what << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood) << what;
    EXPECT_NE(
        r.out.find(f.list + ": error: the copy is longer than the 65536 bytes the plug-in reads of "
                            "a list: shorten it; the list is unchanged [too-long]\n"),
        std::string::npos)
        << what << "\n"
        << r.out;
    expectKept(f, r, longer, what);
    expectNoSummary(r, what);
  }
}

// A delegate's edit that was not installed stays in their private folder in /var/tmp, and check
// names it as the list's journal names it, only while it is there as the tool left it: the
// delegate's folder, mode 0700, holding a plain file of one name of the same owner, never
// through a link. A folder the journal does not name is never named, however it looks. Each
// folder here is made by mkdtemp and removed by its own name.
TEST(Keep, ADelegatesKeptCopyInVarTmpIsNamedByCheckAsTheJournalNamesIt) {
  if (geteuid() != 0) GTEST_SKIP() << "making a folder another account's needs root";
  Folder f;
  const std::string name = "kept-" + f.dir.substr(f.dir.size() - 6) + ".list";
  const std::string list = f.dir + "/" + name;
  spill(list, kGood);
  constexpr uid_t kNobody = 65534;
  struct Layout {
    const char *what;
    bool journaled;
    bool named;
    std::string make;  // bash in the private folder $1 (the copy is $1/NAME, nobody's 0700)
  };
  const Layout layouts[] = {
      {"as the tool left it", true, true, ""},
      {"not in the journal", false, false, ""},
      {"a folder others can enter", true, false, "chmod 755 \"$1\""},
      {"a folder of root's", true, false, "chown root \"$1\""},
      {"a copy of another owner", true, false, "chown root \"$1/NAME\""},
      {"a copy that is a link", true, false, "rm \"$1/NAME\" && ln -s /etc/passwd \"$1/NAME\""},
      {"a copy with two names", true, false, "ln \"$1/NAME\" \"$1/other\""},
      {"a folder that is a link", true, false,
       "mkdir \"$1.real\" && mv \"$1/NAME\" \"$1.real/\" && "
       "chown nobody \"$1.real\" && chmod 700 \"$1.real\" && "
       "rmdir \"$1\" && ln -s \"$1.real\" \"$1\""},
      {"removed since", true, false, "rm -r \"$1\" && mkdir \"$1\""},
  };
  // The folders made here, removed by their own names however the test ends.
  struct Made {
    std::vector<std::string> folders;
    ~Made() {
      for (const std::string &f : folders)
        std::system(("rm -rf '" + f + "' '" + f + ".real'").c_str());  // NOLINT(cert-env33-c)
    }
  } made;
  std::string expected, journal;
  int minute = 0;
  for (const Layout &l : layouts) {
    char templ[] = "/var/tmp/tolvane-edit.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string folder = templ;
    made.folders.push_back(folder);
    const std::string copy = folder + "/" + name;
    spill(copy, kGood + "# " + l.what + "\n");
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(copy.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    const std::string two = std::string(minute < 10 ? "0" : "") + std::to_string(minute);
    const std::string when = "2026-01-02 03:" + two;
    const std::string id = "20260102T03" + two + "00Z-Ab12Cd";
    ++minute;
    if (l.journaled) {
      journal += R"({"v":1,"kind":"end","id":")" + id +
                 R"(","at":"2026-01-02T03:00:00Z","result":"refused","why":"the new list has 1 )"
                 R"(error that the list does not have: nothing written","logged":true,"kept":)"
                 R"({"path":")" +
                 copy + R"(","owner":65534,"beside":false}})" + "\n";
    }
    std::string make =
        "touch -h -d '" + when + " UTC' \"$1/NAME\"" + (l.make.empty() ? "" : " && " + l.make);
    for (size_t at; (at = make.find("NAME")) != std::string::npos;) make.replace(at, 4, name);
    spill(f.dir + "/make.sh", make + "\n");
    const Outcome setUp = shell("bash '" + f.dir + "/make.sh' " + folder);
    ASSERT_EQ(setUp.status, 0) << l.what << ": " << setUp.out;
    if (l.named) {
      expected += list + ": warning: " + copy + ", written " + when +
                  ", is a copy of the list that nobody edited through sudo and that was not "
                  "installed (change " +
                  id +
                  "): look at it with them, then remove its folder "
                  "[kept-copy]\n";
    }
  }
  const std::string journalPath = f.dir + "/." + name + ".journal";
  spill(journalPath, journal);
  ASSERT_EQ(chmod(journalPath.c_str(), 0600), 0);
  const Outcome r = shell("TZ=UTC " + launched(TOLVANE_LIST) + " check '" + list + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out, expected + list +
                       ": 1 record the plug-in loads\n  slot  line  rSeed       pSeed       "
                       "addresses\n     1     1  53          any         10.1.0.0 to "
                       "10.1.255.255\n");
}
