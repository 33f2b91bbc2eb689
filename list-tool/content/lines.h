// A list's lines, as a change adds and takes them out: the list's own line end
// kept, numbered from 1 as check shows them.
#ifndef TOLVANE_LIST_CONTENT_LINES_H
#define TOLVANE_LIST_CONTENT_LINES_H

#include <set>
#include <string>

namespace tl {

// "\r\n" when most of the list's lines end so, else "\n".
std::string lineEndOf(const std::string &data);

// The list with `line` added at its end, ended as the list's lines are.
std::string withLineAdded(const std::string &data, const std::string &line);

// The list without the lines numbered in `gone`.
std::string withoutLines(const std::string &data, const std::set<int> &gone);

// The text of line `n` of the list (from 1), without its line end ("" past the last).
std::string lineAt(const std::string &data, int n);

// The list with line `n` holding `text` instead, its line end kept.
std::string withLineReplaced(const std::string &data, int n, const std::string &text);

// How many lines the list has (a last line without its line end counts).
int lineCount(const std::string &data);

}  // namespace tl

#endif
