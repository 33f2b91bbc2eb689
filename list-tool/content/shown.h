// How the tool shows values and text: addresses, seeds, bytes and times as people read them,
// and text from files others can write (a list, a lock, a comment, a file name) never raw:
// control characters would reach the operator's terminal.
#ifndef TOLVANE_LIST_CONTENT_SHOWN_H
#define TOLVANE_LIST_CONTENT_SHOWN_H

#include <cstddef>
#include <ctime>
#include <string>

#include "tv-list.h"

namespace tl {

// The text with every control character (bytes below 0x20 but the tab, 0x7F, and the C1
// controls U+0080 to U+009F), every character that sets or marks the direction of text
// (U+200E, U+200F, U+061C, U+202A to U+202E, U+2066 to U+2069) and every byte that is not UTF-8
// shown as \xHH, byte by byte; everything else as it is. A line break too: a name from a file (a
// link's target, a folder's name) cannot start a line of its own and pass for the tool's, nor
// turn what follows it around.
std::string escaped(const std::string &text);

// Whether the character is one of the invisible ones that set or mark the direction of text:
// the left-to-right and right-to-left marks, the Arabic letter mark, the embeddings and
// overrides (U+202A to U+202E) and the isolates (U+2066 to U+2069). Shown raw, they turn around
// what follows them on the operator's terminal and in the log.
bool setsDirection(unsigned cp);

// The length of the UTF-8 sequence of two bytes or more at s[i] when it is well formed (not
// overlong, no surrogate, at most U+10FFFF), with its character in `cp`; 0 otherwise.
size_t utf8At(const std::string &s, size_t i, unsigned &cp);

// The length of the UTF-8 sequence at s[i] when it is well formed and neither a control
// character (U+0080 to U+009F) nor one that sets the direction of text; 0 otherwise.
size_t utf8Length(const std::string &s, size_t i);

// The address as dotted octets, first octet first.
std::string dotted(uint32 a);

// A byte as the tool shows it: 'x' when printable, else "a space", "a tab" or "byte 0xHH".
std::string shownByte(unsigned char c);

// A seed as a report shows it: "any" for a PUID seed of 0, else the number.
std::string shownPSeed(uint32 pSeed);

// A file's permission bits as chmod takes them: "0644" (the file's kind left out).
std::string shownMode(unsigned mode);

// A time as the tool shows it: "2026-12-10 12:42" in local time.
std::string shownTime(time_t t);

// A line of the file as shown under a finding, and where the caret goes. Each character takes
// one cell: printable UTF-8 as it is, a tab as a space, any other byte (a control character,
// a byte-order mark, a character that sets the direction of text, a byte that is not UTF-8) as
// '?'. A line of more than 120 bytes is shown
// as the 60 bytes on either side of `at`, marked with "...".
struct SourceLine {
  std::string text;
  size_t caret;  // cells before the caret
};
SourceLine sourceLine(const std::string &line, size_t at);

}  // namespace tl

#endif
