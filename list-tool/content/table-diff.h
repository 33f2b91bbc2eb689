// What changes between two tables the plug-in would load: records added, removed, and moved
// out of their order (the first matching record wins, so the order matters), and who gains or
// loses recognition by it. Records are paired by identity: the same seeds and range.
#ifndef TOLVANE_LIST_CONTENT_TABLE_DIFF_H
#define TOLVANE_LIST_CONTENT_TABLE_DIFF_H

#include <string>
#include <vector>

#include "content/report.h"

namespace tl {

struct TableChange {
  enum Kind { Added, Removed, Moved } kind;
  const Loaded *before;  // null for Added
  const Loaded *after;   // null for Removed
  // Added: no record before admitted all its users; Removed: no record after admits all of its.
  bool reach = false;
};

// The changes from `before` to `after`: added and moved records in the order of `after`, then
// removed ones in the order of `before`. A kept record has moved when its place among the kept
// records is another, so that a record added or removed before it moves nothing.
std::vector<TableChange> compareTables(const Report &before, const Report &after);

// Whether the plug-in would load the same records in the same order.
bool sameTable(const Report &before, const Report &after);

// What changed, in one line: "1 added, 0 removed, 0 moved; 3 records before, 4 after; who
// gains: 1 record's users; who loses: none".
std::string changeSummary(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes);

}  // namespace tl

#endif
