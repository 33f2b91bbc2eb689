// The copy of a list that the operator edits. For an operator who changes the list as
// themselves it lies in the list's own folder (.NAME.XXXXXX), as visudo's does; for a delegate
// under sudo it lies in a private folder of theirs (mode 0700, owned by them), where the editor,
// running with their ids, can reach it and nothing of root's. Either way it is read back
// through the folder's descriptor, never through a link; a delegate's copy is read with the
// delegate's own ids.
#ifndef TOLVANE_LIST_WORK_COPY_H
#define TOLVANE_LIST_WORK_COPY_H

#include <string>

#include "accounts.h"
#include "unique-fd.h"

namespace tl {

class WorkCopy {
 public:
  WorkCopy() = default;
  ~WorkCopy();  // removes the copy unless it is kept
  WorkCopy(const WorkCopy &) = delete;
  WorkCopy &operator=(const WorkCopy &) = delete;
  // Makes the copy of the list `name`, holding `content`: in the open folder `dir` (named
  // `folder`), or, for a delegate, in a private folder of theirs.
  bool create(int dir, const std::string &folder, const std::string &name,
              const std::string &content, const Account *delegate, std::string &err);
  const std::string &path() const { return path_; }
  // What the editor left in the copy; false with the reason when it is not a regular file (a
  // link is refused, with what it names).
  bool read(std::string &data, std::string &err) const;
  // Whether the copy is still there, as a file of any kind.
  bool exists() const;
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

}  // namespace tl

#endif
