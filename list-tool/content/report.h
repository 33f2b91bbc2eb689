// The report on a list's bytes: they are read exactly as the plug-in's reload reads them,
// through the same reader and parser, and every piece is accounted for: the records the
// plug-in loads, and every finding, with its place in the file.
#ifndef TOLVANE_LIST_CONTENT_REPORT_H
#define TOLVANE_LIST_CONTENT_REPORT_H

#include <string>
#include <vector>

#include "tv-list.h"

namespace tl {

// An error: the plug-in reads the line otherwise than its text plainly says (a record lost, or
// loaded other than written). A warning: the line says what it means, but that is risky or
// untidy. A note: worth a word, never a fault (a list that gives no record, as a fresh install's).
enum class Severity { Error, Warning, Note };

// "error", "warning" or "note".
const char *severityName(Severity s);

// A finding at a place in the file; lines and columns count from 1, and line 0 is about the
// whole file. `source` is the line as shown under the finding, with the caret after `caret`
// cells.
struct Finding {
  int line;
  int column;
  Severity severity;
  std::string code;
  std::string message;
  std::string source;
  size_t caret = 0;
};

// A record read from the file, with the place of its piece and the comment that says whom it
// is for: the comment after it on its own line (a comment line above it is never its note).
struct Loaded {
  int slot;  // 1 to 32 in table order; 33 on for records past the 32nd
  int line;
  int column;
  Tolvane rec;
  std::string comment;
  std::string commentAbove;  // the text of a comment line right above it, which is not its note
};

// A line that gives no record, with the first reason.
struct Lost {
  int line;
  std::string message;
  std::string text;  // the line, without its line end
};

struct Report {
  std::string file;
  std::vector<Finding> findings;  // in file order
  std::vector<Loaded> records;    // in table order
  std::vector<Loaded> ignored;    // records past the 32nd, which the plug-in never reads (the
                                  // first fifty)
  size_t ignoredTotal = 0;        // how many there are
  std::vector<Lost> lost;         // in file order (as far as their findings are shown)
};

// Whether two records are the same in all four fields.
bool sameRecord(const Tolvane &a, const Tolvane &b);

// Whether record `a` admits every user that record `b` admits.
bool covers(const Tolvane &a, const Tolvane &b);

// The record the plug-in reads from a line on its own (its first piece); false when it gives
// none.
bool recordOfLine(const std::string &line, Tolvane &rec);

// Checks a list file's bytes as the plug-in's reload would read them.
Report checkList(const std::string &file, const std::string &data);

}  // namespace tl

#endif
