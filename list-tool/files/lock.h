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

#include <functional>
#include <string>

#include "files/accounts.h"
#include "files/descriptors.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

class ListLock {
 public:
  // Takes the lock of the list at `place`. `waitSeconds` < 0 does not wait for another change
  // to end; 0 waits as long as it takes; more waits that long at the most. Refused
  // ("lock-file") when the lock file is not one of tolvane-list's; trouble when another change
  // holds it, or it cannot be taken. When it waits, `waiting` is told once, with what it waits
  // for.
  Outcome acquire(const ListPlace &place, const Trusted &trusted, double waitSeconds,
                  const std::function<void(const std::string &)> &waiting = nullptr);

 private:
  UniqueFd fd_;
};

}  // namespace tl

#endif
