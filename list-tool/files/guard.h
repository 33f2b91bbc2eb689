// Who can change or replace a list, and who can read it: one judgement of the list's path,
// made once, by walking it as the kernel does, component by component. Every folder from / on
// (the working folder's own path first, for a relative path), every symbolic link on the way
// and what each one names: a folder others can write to is unsafe unless it is sticky and owned
// by a trusted account, and then everything below it on the path must belong to a trusted
// account; the list's own folder, sticky or not, must be writable by trusted accounts alone (what
// lies beside the list is taken for the tool's own: its previous version, its lock, its copies).
// The walk ends holding the list's folder open, so that whatever follows (reading, locking,
// installing) works through that descriptor and never follows a name again.
#ifndef TOLVANE_LIST_FILES_GUARD_H
#define TOLVANE_LIST_FILES_GUARD_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "files/access-list.h"
#include "files/accounts.h"
#include "files/descriptors.h"
#include "outcome.h"

namespace tl {

// One thing wrong with how the list is guarded: a stable code and a sentence. A finding of the
// list's own mode ("list-writable") says that mode as a fact: its sentence follows the mode.
struct GuardFinding {
  std::string code;
  std::string message;
  bool error;
  bool namesMode = false;
  mode_t mode = 0;
};

// A folder the walk passed through, or the list itself.
struct Visited {
  std::string path;
  struct stat st;
  AccessList acl;
};

// Where a list lives, as the walk found it: one object from the walk to the install, its folder
// open, so that every later step works through that descriptor and never follows a name again.
struct ListPlace {
  std::string given;                   // the path as given
  std::string folder;                  // the folder holding the list, links resolved
  std::string name;                    // the list's name in that folder
  UniqueFd dir;                        // that folder, open (invalid when the walk failed)
  bool exists = false;                 // whether the name exists in the folder
  struct stat st {};                   // the name's own status (not following a link)
  std::vector<std::string> links;      // every link followed: "PATH -> TARGET"
  std::string danglingTarget;          // a final link that names nothing: what it names
  std::vector<Visited> folders;        // every folder passed through, in order
  std::vector<GuardFinding> findings;  // in the order met
  // The list's path with links resolved.
  std::string live() const;
  // The path of another entry of the list's folder, for messages.
  std::string beside(const std::string &entry) const;
  // Whether a finding is an error.
  bool guardErrors() const;
};

// Walks `path` into `place` and judges how the list there is guarded against everyone but
// `trusted`. Findings about the list file itself (its owner, mode and access list) are made
// when it exists and is a regular file. Trouble when the walk cannot reach the list's folder;
// what it found wrong on the way is in `place` even then.
Outcome walkList(const std::string &path, const Trusted &trusted, ListPlace &place);

// Where an account's reading of a list stops: the folder it cannot search or the list it cannot
// read (one of the place's `folders`), or nothing when there is no list.
struct Unreadable {
  const Visited *at = nullptr;
  bool isList = false;
};

// Whether `account` can read the list the walk found: search permission on every folder passed
// and read permission on the list, access lists honoured. Refused ("unreadable", no message)
// with where it stops in `why`.
Outcome readableBy(const ListPlace &place, const Account &account, Unreadable &why);

}  // namespace tl

#endif
