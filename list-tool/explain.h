// What the list tool says about one piece: why it gave no record, or what is surprising about
// the record it gave. Everything here reads the parser's own account of the piece (TvWhy).
#ifndef TOLVANE_LIST_EXPLAIN_H
#define TOLVANE_LIST_EXPLAIN_H

#include <cstddef>
#include <string>
#include <vector>

#include "tv-list.h"

namespace tl {

// One remark about a piece: a stable code, a sentence, and where in the piece it points.
struct Remark {
  std::string code;
  std::string message;
  size_t at;
};

// The address as dotted octets, first octet first.
std::string dotted(uint32 a);

// A byte as the tool shows it: 'x' when printable, else 0xHH.
std::string shownByte(unsigned char c);

// Why a piece that is neither blank nor a comment gave no record. `piece` holds `len` bytes
// (a NUL among them ends the parse); `cut` says the piece is a line cut at 62 characters.
Remark whyNoRecord(const char *piece, size_t len, const TvWhy &why, bool cut);

// What is surprising about a record: values that wrap, octets read otherwise than written,
// '*' octets followed by numbers, octets left out, text after the closing quote.
std::vector<Remark> recordRemarks(const char *piece, size_t len, const TvWhy &why,
                                  const Tolvane &rec);

}  // namespace tl

#endif
