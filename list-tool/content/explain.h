// What the list tool says about one piece: why it gave no record, or what is surprising about
// the record it gave. Everything here reads the parser's own account of the piece (TvWhy).
#ifndef TOLVANE_LIST_CONTENT_EXPLAIN_H
#define TOLVANE_LIST_CONTENT_EXPLAIN_H

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
  bool error = false;  // the record loads, but not as written: an error, not a warning
};

// Why a piece that is neither blank nor a comment gave no record. `piece` holds `len` bytes
// (a NUL among them ends the parse); `cut` says the piece is a line cut at 62 bytes.
Remark whyNoRecord(const char *piece, size_t len, const TvWhy &why, bool cut);

// What is surprising about a record: seeds that wrap or are read from elsewhere than meant,
// text the plug-in skips between the brace groups and before the address, octets read
// otherwise than written, patterns wider or narrower than they look, text after the closing
// quote.
std::vector<Remark> recordRemarks(const char *piece, size_t len, const TvWhy &why,
                                  const Tolvane &rec);

// The line with the usual slips mended (a byte-order mark, typographic quotes, lower-case seed
// letters, a CIDR prefix of whole octets, braces or an opening quote left out); false when
// there is nothing of the kind to mend.
bool mendLine(const std::string &line, std::string &mended);

}  // namespace tl

#endif
