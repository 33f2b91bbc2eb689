// Copies that earlier changes left beside a list (.NAME.XXXXXX): an edit kept because it could
// not be installed, or the remains of a change that was killed. Each may hold someone's work.
// A change makes its copies as the account running it, so a file of that name owned by anyone
// not trusted with the list (planted in a sticky folder such as /tmp) is none of them.
#ifndef TOLVANE_LIST_STRAY_COPIES_H
#define TOLVANE_LIST_STRAY_COPIES_H

#include <ctime>
#include <string>
#include <vector>

#include "trusted.h"

namespace tl {

struct StrayCopy {
  std::string path;
  time_t changed;
};

// The copies of the list `name` in the open folder `dir` (named `folder`) that belong to an
// account `trusted` with the list, oldest first.
std::vector<StrayCopy> strayCopies(int dir, const std::string &folder, const std::string &name,
                                   const Trusted &trusted);

// A time as the tool shows it: "2026-12-10 12:42" in local time.
std::string shownTime(time_t t);

}  // namespace tl

#endif
