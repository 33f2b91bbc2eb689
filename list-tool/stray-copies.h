// Copies that earlier changes left beside a list (.NAME.XXXXXX): an edit kept because it could
// not be installed, or the remains of a change that was killed. Each may hold someone's work.
#ifndef TOLVANE_LIST_STRAY_COPIES_H
#define TOLVANE_LIST_STRAY_COPIES_H

#include <ctime>
#include <string>
#include <vector>

namespace tl {

struct StrayCopy {
  std::string path;
  time_t changed;
};

// The copies of the list `name` in the open folder `dir` (named `folder`), oldest first.
std::vector<StrayCopy> strayCopies(int dir, const std::string &folder, const std::string &name);

// A time as the tool shows it: "2026-12-10 12:42" in local time.
std::string shownTime(time_t t);

}  // namespace tl

#endif
