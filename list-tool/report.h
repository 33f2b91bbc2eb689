// Printing judgements of lists: like a compiler for people, as JSON for scripts. Text read
// from a list is shown with its control characters escaped.
#ifndef TOLVANE_LIST_REPORT_H
#define TOLVANE_LIST_REPORT_H

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "judge-content.h"
#include "table-diff.h"

namespace tl {

// One finding as a compiler shows it: FILE:LINE:COLUMN: severity: message [code], then the
// source line with a caret under the column (FILE: severity: ... for the whole file).
void printFinding(FILE *out, const std::string &file, const Finding &f);

// Each finding, then the records table.
void printText(FILE *out, const Report &r);

// {"line", "column", "severity", "code", "message"}
nlohmann::json findingJson(const Finding &f);

// {"slot", "line", "column", "rSeed", "pSeed", "ipMin", "ipMax", "comment"}
nlohmann::json recordJson(const Loaded &l);

// {"file", "findings": [...], "records": [...]}
nlohmann::json reportJson(const Report &r);

// {"changes": [{"kind": "added"|"removed"|"moved", "before": record, "after": record,
// "reach": bool}], "summary": "..."}
nlohmann::json changeJson(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes);

// The document, indented, and a newline; bytes that are not UTF-8 are replaced.
void printJsonDocument(FILE *out, const nlohmann::json &doc);

}  // namespace tl

#endif
