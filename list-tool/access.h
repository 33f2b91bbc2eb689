// Whether an account (the server's) can read a list: search permission on every folder of its
// path and read permission on the file, by owner, group and mode bits.
#ifndef TOLVANE_LIST_ACCESS_H
#define TOLVANE_LIST_ACCESS_H

#include <string>

namespace tl {

// Whether the account exists.
bool accountExists(const std::string &user);

// False with the reason ("/etc/tolvane is mode 0700, owner root:root") when `user` cannot read
// the file at `path`. Access control lists are not consulted.
bool readableBy(const std::string &path, const std::string &user, std::string &why);

}  // namespace tl

#endif
