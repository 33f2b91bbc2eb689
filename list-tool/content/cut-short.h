// A change cut short (killed, or the machine lost its power): how far it got, told from what
// its journal entries say it would do and the digests of what lies beside the list now, never
// from a guess at whose bytes a file holds. What it says decides the repair: which of the files
// the journal names go, whether the change's copy of the old list becomes FILE-, and what is put
// on record under the change's own verb and account.
#ifndef TOLVANE_LIST_CONTENT_CUT_SHORT_H
#define TOLVANE_LIST_CONTENT_CUT_SHORT_H

#include <string>
#include <vector>

#include "content/journal-state.h"

namespace tl {

// A file the journal names, as found: there as a plain file of one name, and its digest.
struct FileFound {
  bool there = false;  // something is at that name
  bool plain = false;  // a plain file of one name, that a trusted account owns
  std::string digest;  // when plain and read
};

// What lies beside the list now, by the names the change gave.
struct CutShortFound {
  std::string list;    // the list's digest ("" when there is none)
  FileFound next;      // the change's new version
  FileFound previous;  // its copy of the list it read, to become FILE-
  FileFound kept;      // FILE-
  FileFound copy;      // the operator's copy, when the change is an edit
};

struct CutShort {
  enum Stage {
    Editing,        // an edit, cut short before it had anything to install
    BeforeInstall,  // nothing was installed
    Exchanged,      // the list is in place; FILE- is not yet the version it replaced
    PreviousKept,   // ... and FILE- is; the old list still lies beside it
    Installed,      // every file is as the change left it; only its end and line are missing
    Unknown,        // changed outside since, in a way that hides whether it installed
  } stage = Unknown;
  bool installed = false;
  bool outsideSince = false;        // the list is not what the change left
  std::string outsideFrom;          // the digest of the version that outside change changed
  std::vector<std::string> remove;  // names in the folder, as the journal gave them
  bool keepPrevious = false;        // make the change's copy of the old list FILE-
  bool mayBeLogged = false;         // its line may have reached the system log before the end
  bool removeCopy = false;          // the operator's copy was installed: it goes
  bool copyKept = false;            // the operator's copy stays, for them
  std::string said;                 // "cut short after it installed the list, before ..."
};

// How far the open change of `s` got, from what `found` shows; `kept` names FILE- for what it
// says.
CutShort judgeCutShort(const JournalState &s, const CutShortFound &found, const std::string &kept);

}  // namespace tl

#endif
