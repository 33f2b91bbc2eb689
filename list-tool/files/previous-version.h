// NAME-, the previous version of a list that every change keeps beside it (install.h), and that
// undo makes the list again. A change writes it as the account that runs it, a plain file with
// one name, so anything else at that name (a file of an account not trusted with the list, a
// folder, a link, a file with other names) is no version a change kept: it is named, never
// trusted, and never installed. It is judged and read through the folder's descriptor, without
// following a link at its name.
#ifndef TOLVANE_LIST_FILES_PREVIOUS_VERSION_H
#define TOLVANE_LIST_FILES_PREVIOUS_VERSION_H

#include <sys/stat.h>

#include <string>

#include "files/accounts.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

// What NAME- is when no change could have kept it: its path as shown, its own status (a
// link's, not what it names), and what a link at it names ("" for none, or what cannot be read).
struct NotKept {
  std::string shown;
  struct stat st {};
  std::string target;
};

// Reads NAME- beside the list at `place` into `bytes` (as far as readMost()). Refused
// "no-previous" when there is none; refused "previous-owner" when an account not trusted with
// the list owns it, "previous-kind" when it is not a plain file with one name, each with no
// message and `why` saying what it is; trouble when it cannot be read.
Outcome readPreviousVersion(const ListPlace &place, const Trusted &trusted, std::string &bytes,
                            NotKept &why);

// Whether NAME- beside the list at `place` can be taken for its previous version: done when it
// can, or when there is none; refused as readPreviousVersion() refuses it otherwise.
Outcome judgePreviousVersion(const ListPlace &place, const Trusted &trusted, NotKept &why);

// The same for a file named by its path (its name ends in '-', as a previous version's does), in
// its own folder.
Outcome judgePreviousVersionAt(const std::string &path, const Trusted &trusted, NotKept &why);

}  // namespace tl

#endif
