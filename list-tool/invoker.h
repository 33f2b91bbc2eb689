// Who makes a change: the user running the tool, and, when it runs with root's privileges on
// behalf of another user through sudo, that user (SUDO_UID, SUDO_GID and SUDO_USER, as sudo
// sets them), whose ids the editor then runs with.
#ifndef TOLVANE_LIST_INVOKER_H
#define TOLVANE_LIST_INVOKER_H

#include <string>

#include "accounts.h"

namespace tl {

struct Invoker {
  std::string name;        // the user running the tool
  bool delegated = false;  // root's privileges on behalf of another user
  Account delegate;        // that user, with the groups the account database gives
  // "root", or "root for alice (sudo)"
  std::string shown() const;
};

Invoker whoInvokes();

}  // namespace tl

#endif
