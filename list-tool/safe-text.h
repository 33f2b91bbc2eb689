// Text from files others can write (a list, a lock, a comment, a file name) is never printed
// raw: control characters would reach the operator's terminal.
#ifndef TOLVANE_LIST_SAFE_TEXT_H
#define TOLVANE_LIST_SAFE_TEXT_H

#include <cstdio>
#include <string>

namespace tl {

// The text with every control character (bytes below 0x20 but the tab, 0x7F, and the C1
// controls U+0080 to U+009F) and every byte that is not UTF-8 shown as \xHH; everything else as
// it is. A line break too: a name from a file (a link's target, a folder's name) cannot start
// a line of its own and pass for the tool's.
std::string escaped(const std::string &text);

// The length of the UTF-8 sequence at s[i] when it is well formed and no control character
// (U+0080 to U+009F); 0 otherwise.
size_t utf8Length(const std::string &s, size_t i);

// Writes the text, escaped, and a newline.
void printLine(FILE *out, const std::string &text);

}  // namespace tl

#endif
