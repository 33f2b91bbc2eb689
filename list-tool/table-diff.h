// What changes between two tables the plug-in would load: records added, removed, and moved
// out of their order (the first matching record wins, so the order matters), and who gains or
// loses recognition by it. Records are paired by identity: the same seeds and range.
#ifndef TOLVANE_LIST_TABLE_DIFF_H
#define TOLVANE_LIST_TABLE_DIFF_H

#include <cstdio>
#include <string>
#include <vector>

#include "judge-content.h"

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

// A record as a change shows it: seeds, range and comment, the comment after `hash`.
std::string describeRecord(const Loaded &l, const char *hash = "   # ");

// One line a change, then a summary line. Places are FILE:LINE of each report's file, with
// `beforeName` and `afterName` standing for the file names when given.
void printChanges(FILE *out, const Report &before, const Report &after,
                  const std::string &beforeName = "", const std::string &afterName = "");

// The summary line of printChanges, without its names.
std::string changeSummary(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes);

}  // namespace tl

#endif
