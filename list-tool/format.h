// Small formatting helpers that every report of the list tool shares.
#ifndef TOLVANE_LIST_FORMAT_H
#define TOLVANE_LIST_FORMAT_H

#include <cstddef>
#include <string>

#include "tv-list.h"

namespace tl {

// The address as dotted octets, first octet first.
std::string dotted(uint32 a);

// A byte as the tool shows it: 'x' when printable, else "a space", "a tab" or "byte 0xHH".
std::string shownByte(unsigned char c);

// A seed as a report shows it: "any" for a PUID seed of 0, else the number.
std::string shownPSeed(uint32 pSeed);

// A line of the file as shown under a finding, and where the caret goes. Each character takes
// one cell: printable UTF-8 as it is, a tab as a space, any other byte (a control character,
// a byte-order mark, a byte that is not UTF-8) as '?'. A line of more than 120 bytes is shown
// as the 60 bytes on either side of `at`, marked with "...".
struct SourceLine {
  std::string text;
  size_t caret;  // cells before the caret
};
SourceLine sourceLine(const std::string &line, size_t at);

// The text of a comment, from the byte after its '#', without surrounding blanks.
std::string commentText(const std::string &line, size_t hash);

}  // namespace tl

#endif
