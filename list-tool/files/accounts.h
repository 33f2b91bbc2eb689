// Accounts: looked up by name or number and named for messages; the accounts trusted with a
// list; who makes a change (under sudo, for whom); and taking an account's ids in a child.
#ifndef TOLVANE_LIST_FILES_ACCOUNTS_H
#define TOLVANE_LIST_FILES_ACCOUNTS_H

#include <sys/types.h>
#include <unistd.h>

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

// The accounts trusted with a list: root, the user running the tool, and the server's account
// when one is named (--as). Whoever else can write the list, or replace it in its folder, can
// make anyone a host administrator.
struct Trusted {
  uid_t caller = geteuid();
  bool hasAs = false;
  Account server;  // the account of --as, when given
  // Trusts the server's account too.
  void trust(const Account &account) {
    hasAs = true;
    server = account;
  }
  bool operator()(uid_t uid) const {
    return uid == 0 || uid == caller || (hasAs && uid == server.uid);
  }
  // "root or you", "root, you or www"
  std::string who() const {
    return hasAs && server.uid != 0 && server.uid != caller ? "root, you or " + server.name
                                                            : "root or you";
  }
};

// Who makes a change: the user running the tool, and, when it runs with root's privileges on
// behalf of another user through sudo, that user (SUDO_UID, SUDO_GID and SUDO_USER, as sudo
// sets them), whose ids the editor then runs with.
struct Invoker {
  std::string name;        // the user running the tool
  bool delegated = false;  // root's privileges on behalf of another user
  Account delegate;        // that user, with the groups the account database gives
  // "root", or "root for alice (sudo)"
  std::string shown() const;
};

Invoker whoInvokes();

// In a child process that is to run with another account's ids: closes every descriptor but
// standard input, output and error and the two named (-1 for none), so that nothing of root's
// stays open in a process that account can stop; then takes the account's user and group ids
// and groups for good. False (errno set) when it cannot.
bool becomeAccount(const Account &as, int keepA = -1, int keepB = -1);

}  // namespace tl

#endif
