// A list's history, as its journal tells it: each change, newest first, with when it was made,
// by whom (the account and the user behind sudo), its verb, the records it added, removed and
// moved, whether it installed, whether it reached the system log (or late, and when), whether it
// was cut short (and which change put it right); and the outside changes found between them.
// Pure: entries in, items out.
#ifndef TOLVANE_LIST_CONTENT_HISTORY_H
#define TOLVANE_LIST_CONTENT_HISTORY_H

#include <string>
#include <vector>

#include "content/journal.h"

namespace tl {

struct HistoryItem {
  enum Kind { Change, Outside } kind = Change;
  std::string id;
  time_t at = 0;
  // Change
  std::string verb;
  ChangeBy by;
  bool installed = false;
  std::string result;      // "installed", "refused", "trouble", "unchanged", "cut short"
  std::string why;         // why it was not installed
  bool logged = false;     // its line reached the system log when it was due
  std::string loggedLate;  // the change that put it on record later ("" none)
  time_t loggedAt = 0;
  bool cutShort = false;
  std::string cutShortSaid;  // how far it got
  std::string putRightBy;    // the change that finished or rolled it back ("" not yet)
  std::string kept;          // the path of an operator's copy kept
  std::string despite;       // installed despite this
  std::vector<KeptChange> changes;
  // Outside: the change that found it (its verb and account in `verb` and `by`)
  std::string foundBy;
};

// The items of the journal's entries (a rotated journal's first), newest first. An edit that
// changed nothing and kept nothing is no item.
std::vector<HistoryItem> historyOf(const std::vector<JournalEntry> &entries);

}  // namespace tl

#endif
