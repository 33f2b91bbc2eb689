// The piece parser on arbitrary bytes: the same result as the plain reference parser, the
// invariants of a record, and not a byte read past the piece (it sits at the very end of a heap
// block of its own, so AddressSanitizer sees any read beyond it).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "reference_parser.h"
#include "tv-list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const size_t n = size < TV_READ_SIZE - 1 ? size : TV_READ_SIZE - 1;
  char *piece = static_cast<char *>(std::malloc(n + 1));
  std::memcpy(piece, data, n);
  piece[n] = '\0';
  Tolvane rec, ref;
  TvWhy why, refWhy;
  const bool gave = tvParsePiece(piece, &rec, &why);
  if (gave != refParsePiece(piece, &ref, &refWhy)) std::abort();
  if (why.end != refWhy.end || why.at != refWhy.at || why.m != refWhy.m) std::abort();
  if (why.at > n) std::abort();
  Tolvane quick;
  if (tvParsePiece(piece, &quick, nullptr) != gave) std::abort();
  if (gave && std::memcmp(&quick, &rec, sizeof rec) != 0) std::abort();
  if (gave) {
    if (std::memcmp(&rec, &ref, sizeof rec) != 0) std::abort();
    if (rec.ipMin > rec.ipMax) std::abort();
    if (why.nbrOctets < 1 || why.nbrOctets > 4) std::abort();
  }
  std::free(piece);
  return 0;
}
