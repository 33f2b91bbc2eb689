// The lock of one list, so that changes of it follow one another: the file .NAME.lock beside
// the list, locked with flock(2) for as long as the change runs. The kernel drops the lock when
// the process ends, so a lock left by a process that died blocks nobody.
//
// The lock file is created exclusively, or an existing one is opened without following a link
// and accepted only when it is a regular file with one link, owned by root or the user running
// the tool; it is never truncated or written otherwise. The holder writes in it, one "key value"
// a line, its process, its account, the sudo user behind it and since when; another change
// shows of it only what is plain (digits, an account's name), never its raw bytes.
#ifndef TOLVANE_LIST_FILES_LOCK_H
#define TOLVANE_LIST_FILES_LOCK_H

#include <sys/stat.h>

#include <ctime>
#include <functional>
#include <string>

#include "files/accounts.h"
#include "files/descriptors.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

// Who holds a list's lock, as its lock file says it: only what is plain (digits, an account's
// name); "" or 0 for what it does not say.
struct LockHolder {
  std::string pid, user, sudoUser;
  time_t since = 0;
};

// A lock file that is none of tolvane-list's: its path and its own status (a link's, not what
// it names).
struct ForeignLock {
  std::string path;
  struct stat st {};
};

class ListLock {
 public:
  // Takes the lock of the list at `place`. `waitSeconds` < 0 does not wait for another change
  // to end; 0 waits as long as it takes; more waits that long at the most. Refused
  // ("lock-file", foreign() says what it is) when the lock file is not one of tolvane-list's
  // (not a regular file, more than one name, or an owner not trusted); trouble when it cannot be
  // taken. When another change holds it: trouble of the code "locked" (holder() says who), once
  // `waitSeconds` passed in vain, or at once when it does not wait; or with the signal that
  // ended the wait (an ending signal, as files/signals.h notes them). When it starts to wait,
  // `waiting` is told once, with who holds it.
  Outcome acquire(const ListPlace &place, const Trusted &trusted, double waitSeconds,
                  const std::function<void(const LockHolder &)> &waiting = nullptr);
  const LockHolder &holder() const { return holder_; }
  const ForeignLock &foreign() const { return foreign_; }

 private:
  UniqueFd fd_;
  LockHolder holder_;
  ForeignLock foreign_;
};

}  // namespace tl

#endif
