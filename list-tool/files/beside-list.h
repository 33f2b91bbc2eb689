// The files a change makes beside the list (its new version, its copy of the old one, an
// operator's copy), looked at by the names its journal gives them and put right as the journal
// says; never found by a guess at their names. A change makes its files as the account running
// it, so a file of such a name that is not a plain file of one name, owned by an account trusted
// with the list, is none of the tool's: it is named, never read as one, and never removed.
#ifndef TOLVANE_LIST_FILES_BESIDE_LIST_H
#define TOLVANE_LIST_FILES_BESIDE_LIST_H

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "files/accounts.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

// A file as found at a name.
struct FoundFile {
  bool there = false;  // something is at that name
  bool plain = false;  // a plain file of one name, owned by a trusted account, read
  std::string bytes;   // when plain (as far as readMost())
  time_t changed = 0;  // when it was last written
  uid_t owner = 0;
};

// The entry `name` of the list's folder, never through a link.
FoundFile foundBeside(const ListPlace &place, const Trusted &trusted, const std::string &name);

// Puts right what a change cut short left: `previous` (when not "") becomes NAME-, each of
// `remove` goes, and the folder is written to disk.
Outcome putRight(const ListPlace &place, const std::string &previous,
                 const std::vector<std::string> &remove);

// Removes the entry `name` of the list's folder (an operator's copy that was installed).
Outcome removeBeside(const ListPlace &place, const std::string &name);

// The entries of the list's folder named as the tool names the files of its changes
// (.NAME.XXXXXX, .NAME-.XXXXXX and .NAME.edit.XXXXXX, six letters or digits), in order of name.
std::vector<std::string> toolNamesBeside(const ListPlace &place);

}  // namespace tl

#endif
