// What a list's journal says now, read from its entries: what the list should be (what the last
// change installed, or what an outside change left), the last change the tool installed and the
// version it replaced (what FILE- must be), a change cut short, the lines still due to the system
// log, and the copies kept for operators. Pure: entries in, a state out.
#ifndef TOLVANE_LIST_CONTENT_JOURNAL_STATE_H
#define TOLVANE_LIST_CONTENT_JOURNAL_STATE_H

#include <string>
#include <vector>

#include "content/journal.h"

namespace tl {

// A version of the list the journal names.
struct JournalVersion {
  std::string id;  // the change that installed it, or the outside change that left it
  time_t at = 0;
  std::string digest;  // "" when the journal names none
  std::vector<KeptRecord> table;
  bool outside = false;  // left by a change made outside the tool
  JournalEntry install;  // the change's install entry (not outside)
  JournalEntry found;    // outside: the entry that put it on record
};

struct JournalState {
  bool any = false;       // the journal holds an entry
  JournalVersion last;    // what the list should be now
  JournalVersion change;  // the last change the tool installed
  // A change with no end: cut short. `start` is an edit's first entry, `install` the entry before
  // its install (either may be missing: an edit cut short while its editor ran has no install).
  bool open = false;
  JournalEntry start, install;
  bool hasStart = false, hasInstall = false;
  // Entries whose line is due to the system log, oldest first.
  std::vector<JournalEntry> unlogged;
  // Entries that kept a copy for the operator, oldest first (the copy may be gone since).
  std::vector<JournalEntry> kept;
};

// The state after these entries (a rotated journal's entries first, then the current one's).
JournalState stateOf(const std::vector<JournalEntry> &entries);

// The entries a new journal carries over from the one it rotates: what the state needs.
std::vector<JournalEntry> carriedOver(const JournalState &s);

}  // namespace tl

#endif
