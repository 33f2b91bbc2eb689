// The list file's line parse written as plainly as it is described: one character at a time
// through the states 0 to 5. The tests hold the plug-in's parser to it on many pieces.
#include "reference_parser.h"

namespace {

// The characters a piece may hold; any other byte ends the piece without a record.
constexpr char VldChrs[] = "{ABCDEFGHIMNOPZ} \t\"0123456789*.";

// The digit value of each letter 'A' to 'P': E F G H A B C D M N O P I are 0 to 12.
const uint8 RegHash[16] = {4, 5, 6, 7, 0, 1, 2, 3, 12, 0, 0, 0, 8, 9, 10, 11};

// VldChrs as a table indexed by byte, built at compile time.
struct ValidTable {
  bool ok[256];
  constexpr ValidTable() : ok() {
    for (const char *c = VldChrs; *c != '\0'; ++c) ok[static_cast<unsigned char>(*c)] = true;
  }
};
constexpr ValidTable kValid;

// base to the power exp in 32-bit arithmetic; 1 for exp <= 0.
uint32 pwr(int16 base, int8_t exp) {
  uint32 r = 1;
  for (int8_t i = 0; i < exp; ++i) r *= static_cast<uint32>(base);
  return r;
}

// The number rule: spaces and tabs skipped, the run of decimal digits, at most 2^31 - 1.
uint32 number(const char *s) {
  while (*s == ' ' || *s == '\t') ++s;
  uint64_t n = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    n = n * 10 + static_cast<uint64_t>(*s - '0');
    if (n > 0x7FFFFFFFu) n = 0x7FFFFFFFu;
  }
  return static_cast<uint32>(n);
}

// Ends the piece: records how, when asked.
bool stop(TvWhy *why, TvEnd end, const char *piece, const char *at, uint8 m) {
  if (why != nullptr) {
    why->end = end;
    why->at = static_cast<uint8>(at - piece);
    why->m = m;
  }
  return end == TV_RECORD;
}

}  // namespace

bool refParsePiece(const char *piece, Tolvane *rec, TvWhy *why, void (*skipped)(void *, size_t),
                   void *ctx) {
  *rec = Tolvane{};
  if (why != nullptr) *why = TvWhy{};
  uint8 m = 0;                // 0 before the first group, 1 in it, 2 between, 3 in the second,
  int8_t j = 0;               // 4 before the address, 5 in it; j counts letters, then octets left
  const char *Ptr = nullptr;  // start of the current octet token
  for (const char *p = piece;; ++p) {
    char c = *p;
    if (c == '\0') return stop(why, TV_NUL, piece, p, m);
    if (c == '#') return stop(why, TV_HASH, piece, p, m);
    if (!kValid.ok[static_cast<unsigned char>(c)]) return stop(why, TV_INVALID, piece, p, m);
    switch (m) {
      case 0:
      case 2:
        if (c == '{') {
          if (why != nullptr) why->open[m / 2] = static_cast<uint8>(p - piece);
          ++m;
          j = 0;
        } else if (skipped != nullptr) {
          skipped(ctx, static_cast<size_t>(p - piece));
        }
        break;
      case 1:
      case 3: {
        if (c == '}') {
          if (why != nullptr) why->close[m / 2] = static_cast<uint8>(p - piece);
          ++m;
          break;
        }
        if (c == 'Z') {
          // Only as the second group's first character; the next character is then a letter.
          if (m != 3 || p[-1] != '{') return stop(why, TV_Z_PLACE, piece, p, m);
          c = *++p;
          if (c < 'A' || c > 'P') return stop(why, TV_Z_LETTER, piece, p, m);
        }
        if (c < 'A' || c > 'P') return stop(why, TV_NOT_LETTER, piece, p, m);
        if (j > 8) return stop(why, TV_TENTH_LETTER, piece, p, m);
        const uint32 digit = RegHash[c - 'A'];
        const uint32 power = pwr(13, j);
        uint32 &seed = (m == 1) ? rec->rSeed : rec->pSeed;
        seed += digit * power;
        if (why != nullptr) {
          why->letters[m / 2] = static_cast<uint8>(j + 1);
          why->seedSum[m / 2] += static_cast<uint64_t>(digit) * power;
        }
        ++j;
        break;
      }
      case 4:
        if (c == '"') {
          if (why != nullptr) why->quote = static_cast<uint8>(p - piece);
          m = 5;
          j = 4;
          Ptr = p + 1;
        } else if (skipped != nullptr) {
          skipped(ctx, static_cast<size_t>(p - piece));
        }
        break;
      default:  // 5: in the address pattern
        if (j == 0) return stop(why, TV_FIFTH_OCTET, piece, p, m);
        if (c != '.' && c != '"') break;
        // End of an octet token, from Ptr up to p.
        --j;
        const uint32 weight = pwr(256, j);
        const int i = 3 - j;
        if (why != nullptr) {
          why->nbrOctets = static_cast<uint8>(i + 1);
          why->octStart[i] = static_cast<uint8>(Ptr - piece);
        }
        if (*Ptr == '*') {
          if (Ptr + 1 != p) return stop(why, TV_STAR, piece, Ptr + 1, m);
          rec->ipMax += 255u * weight;
          if (why != nullptr) why->starMask = static_cast<uint8>(why->starMask | (1u << i));
        } else {
          const uint32 n = number(Ptr);
          const uint8 k = static_cast<uint8>(n);
          rec->ipMin += k * weight;
          rec->ipMax += k * weight;
          if (why != nullptr) why->octNumber[i] = n;
        }
        Ptr = p + 1;
        if (c == '"') return stop(why, TV_RECORD, piece, p, m);
        break;
    }
  }
}
