// Accounts and groups of the system: looked up by name or number, named for messages.
#ifndef TOLVANE_LIST_ACCOUNTS_H
#define TOLVANE_LIST_ACCOUNTS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace tl {

struct Account {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;
  std::vector<gid_t> groups;  // every group the account is in, its own first
};

// The account named by `who`: a name, or a number (a user id, with or without an entry in the
// account database). False when there is no such account.
bool findAccount(const std::string &who, Account &out);

// The account with this user id; its name is the number when the database has none.
Account accountOf(uid_t uid);

// A user or group as messages name it: its name, or its number when it has none.
std::string userName(uid_t uid);
std::string groupName(gid_t gid);

}  // namespace tl

#endif
