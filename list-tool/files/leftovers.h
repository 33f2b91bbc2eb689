// What earlier changes left beside a list: an edit kept because it could not be installed,
// and the files of an install that was cut short (killed, or the machine lost its power). An
// install makes .NAME.S (the new version) and .NAME-.S (the version it replaces, to become
// NAME-) with one suffix S, both before it writes either (install.h); what it left says how
// far it got:
//   - .NAME.S and .NAME-.S with the same bytes: the list was exchanged, and .NAME.S is the old
//     list; NAME- was not yet renamed: NAME- is the version from the change before, and the
//     version this list replaced is .NAME-.S;
//   - .NAME.S and .NAME-.S of other bytes: nothing was installed;
//   - .NAME.S alone with the bytes of NAME-: the old list of a change that had kept NAME-.
// Anything else of those names is a copy that may hold someone's work (an edit's copy is never
// one of a pair). A change makes its
// files as the account running it, so a file of that name owned by anyone not trusted with the
// list (planted in a sticky folder such as /tmp) is none of them, nor is anything but a plain
// file with one name.
#ifndef TOLVANE_LIST_FILES_LEFTOVERS_H
#define TOLVANE_LIST_FILES_LEFTOVERS_H

#include <ctime>
#include <string>
#include <vector>

#include "files/accounts.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

struct Leftover {
  enum Kind {
    Copy,      // an edit that was not installed, or a copy nothing tells apart: may be work
    Unused,    // a file of a change cut short before it installed anything
    Replaced,  // the version a change replaced, cut short before it became NAME-
    OldList,   // the old list of a change that had kept it as NAME- already
  } kind;
  std::string name;   // its name in the list's folder
  std::string path;   // for messages
  time_t changed;     // when it was last written
  std::string bytes;  // what it holds
};

// What earlier changes left beside the list at `place`, oldest first.
std::vector<Leftover> leftoversOf(const ListPlace &place, const Trusted &trusted);

// Puts right what installs cut short left: the version a change replaced becomes NAME- (the
// newest, where there are several), and the other files of such installs go. Copies that may
// hold work stay.
Outcome repairLeftovers(const ListPlace &place, const std::vector<Leftover> &found);

}  // namespace tl

#endif
