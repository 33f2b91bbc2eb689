// What a list carries besides its bytes survives every change: its access list (a read grant to
// the server's account, say) and its extended attributes, on the new list and on the previous
// version kept beside it, whether the change is an edit, an add or a remove.
#include <gtest/gtest.h>

#include <string>

#include "build-paths.h"
#include "edit-harness.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

// The list's mode, access list and user attributes, as getfacl and getfattr show them.
std::string attributes(const std::string &path) {
  return shell("stat -c %a '" + path + "'; getfacl --absolute-names --omit-header '" + path +
               "'; getfattr --absolute-names -d -m '^user\\.' '" + path + "' | sed 1d")
      .out;
}

}  // namespace

TEST(Attributes, AnAccessListAndUserAttributesSurviveEveryChange) {
  const std::string added = "{D} {} \"10.7.7.7\"\n";  // what add --rseed 7 --addr 10.7.7.7 writes
  const struct {
    const char *what;
    std::string command;  // the tool's arguments: <L> is the list
    std::string after;
  } cases[] = {
      {"edit", "edit <L>", kGood + kMended + kMended},  // the editor adds a line
      {"add", "add <L> --rseed 7 --addr 10.7.7.7", kGood + kMended + added},
      {"remove", "remove <L> 2", kGood},
  };
  for (const auto &c : cases) {
    Folder f;
    spill(f.list, kGood + kMended);
    const std::string setup = "chmod 640 '" + f.list + "' && setfacl -m u:nobody:r '" + f.list +
                              "' && setfattr -n user.origin -v ops-desk '" + f.list +
                              "' && setfattr -n user.empty '" + f.list + "'";
    ASSERT_EQ(shell(setup).status, 0);
    const std::string before = attributes(f.list);
    ASSERT_EQ(before,
              "640\nuser::rw-\nuser:nobody:r--\ngroup::r--\nmask::r--\nother::---\n\n"
              "user.empty=\"\"\nuser.origin=\"ops-desk\"\n\n");
    const ino_t inode = statOf(f.list).st_ino;
    const std::string editor = f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\"");
    const Outcome r =
        shell("EDITOR='" + editor + "' " + launched(TOLVANE_LIST) + " " + placed(c.command, f));
    EXPECT_EQ(r.status, 0) << c.what << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), c.after) << c.what;
    EXPECT_NE(statOf(f.list).st_ino, inode) << c.what << ": a new file";
    EXPECT_EQ(attributes(f.list), before) << c.what << ": the list";
    EXPECT_EQ(attributes(f.list + "-"), before) << c.what << ": its previous version";
  }
}

TEST(Attributes, TheFolderDefaultAccessListGivesTheListNothing) {
  // The folder's default access list would give every new file in it a grant to nobody.
  for (const char *command : {"edit <L>", "add <L> --rseed 7 --addr 10.7.7.7", "remove <L> 2"}) {
    Folder f;
    spill(f.list, kGood + kMended);
    ASSERT_EQ(
        shell("chmod 644 '" + f.list + "' && setfacl -d -m u:nobody:rw '" + f.dir + "'").status, 0);
    const std::string before = attributes(f.list);
    ASSERT_EQ(before, "644\nuser::rw-\ngroup::r--\nother::r--\n\n");
    const std::string editor = f.editor("add.sh", "printf '%s' '" + kMended + "' >>\"$1\"");
    const Outcome r =
        shell("EDITOR='" + editor + "' " + launched(TOLVANE_LIST) + " " + placed(command, f));
    EXPECT_EQ(r.status, 0) << command << "\n" << r.out;
    EXPECT_EQ(attributes(f.list), before) << command << ": the list";
    EXPECT_EQ(attributes(f.list + "-"), before) << command << ": its previous version";
  }
}
