// Printing check reports: like a compiler for people, as JSON for scripts.
#ifndef TOLVANE_LIST_REPORT_H
#define TOLVANE_LIST_REPORT_H

#include <cstdio>
#include <vector>

#include "listfile.h"

namespace tl {

// FILE:LINE:COLUMN: severity: message [code] for each finding, then the records table.
void printText(FILE *out, const Report &r);

// {"files": [{"file", "findings": [...], "records": [...]}]}
void printJson(FILE *out, const std::vector<Report> &reports);

}  // namespace tl

#endif
