// What the tool prints for people: findings as a compiler shows them, the records table, the
// changes between two tables, and every line of its own. Text from files is escaped (shown.h).
#ifndef TOLVANE_LIST_CONTENT_TEXT_OUT_H
#define TOLVANE_LIST_CONTENT_TEXT_OUT_H

#include <cstdio>
#include <string>

#include "content/report.h"

namespace tl {

// Writes the text, escaped, and a newline; on standard error after what standard output holds.
void printLine(FILE *out, const std::string &text);

// The message, with a word to run the tool as root or through sudo when it tells of a permission
// refused and the tool does not run as root.
std::string withRootHint(const std::string &message, bool root);

// One finding as a compiler shows it: FILE:LINE:COLUMN: severity: message [code], then the
// source line with a caret under the column (FILE: severity: ... for the whole file).
void printFinding(FILE *out, const std::string &file, const Finding &f);

// Each finding, then the records table.
void printText(FILE *out, const Report &r);

// A record as a change shows it: seeds, range and comment, the comment after `hash`.
std::string describeRecord(const Loaded &l, const char *hash = "   # ");

// One line a change, then a summary line. Places are FILE:LINE of each report's file, with
// `beforeName` and `afterName` standing for the file names when given.
void printChanges(FILE *out, const Report &before, const Report &after,
                  const std::string &beforeName = "", const std::string &afterName = "");

}  // namespace tl

#endif
