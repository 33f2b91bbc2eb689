// The copy of a list that the operator edits. For an operator who changes the list as
// themselves it lies in the list's own folder (.NAME.XXXXXX), as visudo's does; for a delegate
// under sudo it lies in a private folder of theirs (mode 0700, owned by them), where the editor,
// running with their ids, can reach it and nothing of root's. Either way it is read back
// through the folder's descriptor, never through a link; a delegate's copy is read with the
// delegate's own ids. A delegate's private folder is /var/tmp/tolvane-edit.XXXXXX, marked (where
// the file system keeps such marks) with the list's path in an attribute only root can set; a
// copy kept there is found again by keptCopiesOf().
#ifndef TOLVANE_LIST_FILES_WORK_COPY_H
#define TOLVANE_LIST_FILES_WORK_COPY_H

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "files/accounts.h"
#include "files/descriptors.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

class WorkCopy {
 public:
  WorkCopy() = default;
  ~WorkCopy();  // removes the copy unless it is kept
  WorkCopy(const WorkCopy &) = delete;
  WorkCopy &operator=(const WorkCopy &) = delete;
  // Makes the copy of the list at `place`, holding `content`: in the list's folder, or, for a
  // delegate, in a private folder of theirs.
  Outcome create(const ListPlace &place, const std::string &content, const Account *delegate);
  const std::string &path() const { return path_; }
  // What the editor left in the copy; refused ("copy-unreadable") with the reason when it is
  // not a plain file (a link is refused, with what it names).
  Outcome read(std::string &data) const;
  // Whether the copy is still there, as a file of any kind.
  bool exists() const;
  // The file an editor keeps unsaved work in beside the copy (vim's .NAME.swp, emacs's #NAME#),
  // when there is one; "" otherwise.
  std::string unsavedBeside() const;
  // Leaves the copy where it is, for the operator; returns its path.
  const std::string &keep();

 private:
  const Account *delegate_ = nullptr;
  UniqueFd dir_;         // the folder holding the copy
  std::string name_;     // its name there
  std::string path_;     // its path
  std::string private_;  // a delegate's private folder, to remove with the copy
  bool kept_ = false;
};

// A copy a delegate edited that was kept in their private folder, as found there later.
struct KeptCopy {
  std::string path;  // /var/tmp/tolvane-edit.XXXXXX/NAME
  uid_t owner;       // the delegate, who owns the folder and the copy
  time_t changed;    // when the copy was last written
};

// The copies of the list at `place` kept in delegates' private folders, oldest first: only what
// the tool could have made, never through a link: a folder /var/tmp/tolvane-edit.XXXXXX of mode
// 0700 owned by an account other than root, not marked for another list, holding a plain file
// of the list's name, with one name, of the same owner.
std::vector<KeptCopy> keptCopiesOf(const ListPlace &place);

}  // namespace tl

#endif
