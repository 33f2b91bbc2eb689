// What changes between two tables the plug-in would load: records added, removed, and moved
// out of their order (the first matching record wins, so the order matters).
#ifndef TOLVANE_LIST_CHANGES_H
#define TOLVANE_LIST_CHANGES_H

#include <cstdio>
#include <string>
#include <vector>

#include "listfile.h"

namespace tl {

struct Change {
  enum Kind { Added, Removed, Moved } kind;
  const Loaded *before;  // null for Added
  const Loaded *after;   // null for Removed
};

// The changes from `before` to `after`, in the order of `after` (removals in the order of
// `before`, after the rest). A record kept in the same order among the kept ones is no change,
// though its slot number may shift.
std::vector<Change> compareTables(const Report &before, const Report &after);

// Whether the plug-in would load the same records in the same order.
bool sameTable(const Report &before, const Report &after);

// One line a change, then a summary line. Places are FILE:LINE of each report's file, with
// `beforeName` and `afterName` standing for the file names when given.
void printChanges(FILE *out, const Report &before, const Report &after,
                  const std::string &beforeName = "", const std::string &afterName = "");

}  // namespace tl

#endif
