// Printing check reports: like a compiler for people, as JSON for scripts.
#ifndef TOLVANE_LIST_REPORT_H
#define TOLVANE_LIST_REPORT_H

#include <cstdio>
#include <string>
#include <vector>

#include "listfile.h"

namespace tl {

// One finding as a compiler shows it: FILE:LINE:COLUMN: severity: message [code], then the
// source line with a caret under the column (FILE: severity: ... for the whole file).
void printFinding(FILE *out, const std::string &file, const Finding &f);

// Each finding, then the records table.
void printText(FILE *out, const Report &r);

// {"files": [{"file", "findings": [...], "records": [...]}]}
void printJson(FILE *out, const std::vector<Report> &reports);

}  // namespace tl

#endif
