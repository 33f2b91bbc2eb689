// The copy of a list that the operator edits. For an operator who changes the list as
// themselves it lies in the list's own folder (.NAME.edit.XXXXXX, a name no install uses), as
// visudo's does; for a delegate under sudo it lies in a private folder of theirs,
// /var/tmp/tolvane-edit.XXXXXX (mode 0700, owned by them), where the editor, running with their
// ids, can reach it and nothing of root's. Either way it is read back through the folder's
// descriptor, never through a link; a delegate's copy is read with the delegate's own ids. Where
// it will be is chosen first, so that the change can put it on record before it is made; a copy
// kept is found again by that record alone (privateCopyAt), never by a search.
#ifndef TOLVANE_LIST_FILES_WORK_COPY_H
#define TOLVANE_LIST_FILES_WORK_COPY_H

#include <sys/types.h>

#include <ctime>
#include <string>

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
  // Chooses where the copy of the list at `place` will be, free now: in the list's folder, or,
  // for a delegate, in a private folder of theirs that create() makes.
  Outcome plan(const ListPlace &place, const Account *delegate);
  // Makes the copy where planned, holding `content`.
  Outcome create(const std::string &content);
  const std::string &path() const { return path_; }
  // Whether it lies beside the list (its name there is name()), and whose it is.
  bool beside() const { return delegate_ == nullptr; }
  const std::string &name() const { return name_; }
  uid_t owner() const;
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
  bool kept() const { return kept_; }

 private:
  const Account *delegate_ = nullptr;
  const ListPlace *place_ = nullptr;
  UniqueFd dir_;         // the folder holding the copy
  std::string name_;     // its name there
  std::string path_;     // its path
  std::string private_;  // a delegate's private folder, to remove with the copy
  bool made_ = false;
  bool kept_ = false;
};

// A copy in a delegate's private folder, as found now at `path` (/var/tmp/tolvane-edit.XXXXXX/
// NAME), never through a link: there only when the folder is a folder of mode 0700 and the copy
// a plain file of one name, both owned by `owner`; its bytes read (as far as readMost()).
struct PrivateCopy {
  bool there = false;
  std::string bytes;
  time_t changed = 0;
};
PrivateCopy privateCopyAt(const std::string &path, uid_t owner);

// Removes a delegate's copy found at `path`, and its private folder.
void removePrivateCopy(const std::string &path);

}  // namespace tl

#endif
