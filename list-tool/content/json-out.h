// What the tool prints for scripts: the one JSON writer. Every --json run prints exactly one
// document, whatever happens; text from files goes in as it is, with bytes that are not UTF-8
// replaced, and the characters that set the direction of text written as \uXXXX escapes (the
// same string to a JSON reader, nothing turned around on a terminal).
#ifndef TOLVANE_LIST_CONTENT_JSON_OUT_H
#define TOLVANE_LIST_CONTENT_JSON_OUT_H

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "content/report.h"
#include "content/table-diff.h"

namespace tl {

// {"line", "column", "severity", "code", "message"}
nlohmann::json findingJson(const Finding &f);

// {"slot", "line", "column", "rSeed", "pSeed", "ipMin", "ipMax", "comment"}, and "until" when
// the comment names the grant's end.
nlohmann::json recordJson(const Loaded &l);

// {"file", "findings": [...], "records": [...]}
nlohmann::json reportJson(const Report &r);

// {"changes": [{"kind": "added"|"removed"|"moved", "before": record, "after": record,
// "reach": bool}], "sameTable": bool, "summary": "..."}
nlohmann::json changeJson(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes);

// The document, indented, and a newline.
void printJson(FILE *out, const nlohmann::json &doc);

}  // namespace tl

#endif
