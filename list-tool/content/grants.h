// Grants that end, as a list holds them: the records whose note names an end (grant-end.h),
// judged at a time given. A grant that has ended still recognises its person until expire takes
// its record out: check says so as an error; one that ends within a week is a note.
#ifndef TOLVANE_LIST_CONTENT_GRANTS_H
#define TOLVANE_LIST_CONTENT_GRANTS_H

#include <string>
#include <vector>

#include "content/grant-end.h"
#include "content/report.h"

namespace tl {

// The findings of a list's grants at `now`, in file order: "grant-ended" (an error) for each
// record whose end is not after now, "grant-ending" (a note) for each that ends within
// kEndingSoon. `bytes` are the list's, for the line shown under each.
std::vector<Finding> grantFindings(const Report &r, const std::string &bytes, UtcSeconds now);

// The records whose grant has ended at `now`, the table's and those past the 32nd, in file
// order.
std::vector<const Loaded *> endedGrants(const Report &r, UtcSeconds now);

}  // namespace tl

#endif
