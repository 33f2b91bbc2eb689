// Who may read and change a list: whether an account (the server's) can read it, and whether
// anyone else can write it or replace it. By owner, group and mode bits; access control lists
// are not consulted.
#ifndef TOLVANE_LIST_ACCESS_H
#define TOLVANE_LIST_ACCESS_H

#include <string>
#include <vector>

namespace tl {

// Whether the account exists.
bool accountExists(const std::string &user);

// False with the reason ("/etc/tolvane is mode 0700, owner root:root") when `user` cannot read
// the file at `path`. Access control lists are not consulted.
bool readableBy(const std::string &path, const std::string &user, std::string &why);

// One thing wrong with how the list is guarded: a code and a sentence.
struct Guard {
  std::string code;
  std::string message;
  bool error;
};

// How the list at `path` is guarded. Trusted are root, the account `as` (when given) and the
// user running the tool: the list must be writable by none but them and owned by one of them;
// no folder on its path, from its own up to /, may be writable by others, unless it has the
// sticky bit and what lies below it on the path belongs to one of them; and a list that is a
// symbolic link is named with where it points.
std::vector<Guard> guardOf(const std::string &path, const std::string &as);

// Whether the folder a list is installed into is safe to rename into; false with the reason
// and the way out when others can write to it.
bool folderSafe(const std::string &list, std::string &why);

}  // namespace tl

#endif
