// The accounts trusted with a list: root, the user running the tool, and the server's account
// when one is named (--as). Whoever else can write the list, or replace it in its folder, can
// make anyone a host administrator.
#ifndef TOLVANE_LIST_TRUSTED_H
#define TOLVANE_LIST_TRUSTED_H

#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "accounts.h"

namespace tl {

struct Trusted {
  uid_t caller = geteuid();
  bool hasAs = false;
  uid_t as = 0;
  std::string asName;
  // Trusts the server's account too.
  void trust(const Account &server) {
    hasAs = true;
    as = server.uid;
    asName = server.name;
  }
  bool operator()(uid_t uid) const { return uid == 0 || uid == caller || (hasAs && uid == as); }
  // "root or you", "root, you or www"
  std::string who() const {
    return hasAs && as != 0 && as != caller ? "root, you or " + asName : "root or you";
  }
};

}  // namespace tl

#endif
