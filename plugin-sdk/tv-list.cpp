// The list file's piece parser: a small state machine over one piece of at most 62 characters.
#include "tv-list.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The characters a piece may hold; any other byte ends the piece without a record.
constexpr char VldChrs[] = "{ABCDEFGHIMNOPZ} \t\"0123456789*.";

// The digit value of each letter 'A' to 'P': E F G H A B C D M N O P I are 0 to 12.
constexpr uint8 RegHash[16] = {4, 5, 6, 7, 0, 1, 2, 3, 12, 0, 0, 0, 8, 9, 10, 11};

// base to the power exp in 32-bit arithmetic; 1 for exp <= 0.
constexpr uint32 pwr(int16 base, int8_t exp) {
  uint32 r = 1;
  for (int8_t i = 0; i < exp; ++i) r *= static_cast<uint32>(base);
  return r;
}

// What a byte is to the parser. Every byte outside VldChrs is BAD.
enum Cls : uint8 { BAD, OPEN, CLOSE, QUOTE, DOT, LETTER, ZED, OTHER };

// The byte classes and the powers, built at compile time from VldChrs, RegHash and pwr.
struct Tables {
  Cls cls[256];
  uint8 digit[256];   // a digit letter's value; 0xFF for every other byte
  bool inToken[256];  // a valid character that does not end an octet token
  uint32 pow13[9];
  uint32 pow256[4];
  constexpr Tables() : cls(), digit(), inToken(), pow13(), pow256() {
    for (unsigned c = 0; c < 256; ++c) digit[c] = 0xFF;
    for (const char *c = VldChrs; *c != '\0'; ++c) {
      const char ch = *c;
      cls[static_cast<unsigned char>(ch)] = ch == '{'                ? OPEN
                                            : ch == '}'              ? CLOSE
                                            : ch == '"'              ? QUOTE
                                            : ch == '.'              ? DOT
                                            : ch == 'Z'              ? ZED
                                            : ch >= 'A' && ch <= 'P' ? LETTER
                                                                     : OTHER;
      inToken[static_cast<unsigned char>(ch)] = ch != '.' && ch != '"';
      if (cls[static_cast<unsigned char>(ch)] == LETTER)
        digit[static_cast<unsigned char>(ch)] = RegHash[ch - 'A'];
    }
    for (int8_t j = 0; j < 9; ++j) pow13[j] = pwr(13, j);
    for (int8_t j = 0; j < 4; ++j) pow256[j] = pwr(256, j);
  }
};
constexpr Tables kT;

inline Cls cls(const char *p) {
  return kT.cls[static_cast<unsigned char>(*p)];
}

// The number rule for ten digits or more: clamped at 2^31 - 1 before anything can wrap.
__attribute__((noinline)) uint32 longNumber(const char *digits, const char *end) {
  constexpr uint32 kMax = 0x7FFFFFFFu;
  uint32 n = 0;
  for (const char *q = digits; q < end; ++q) {
    const auto d = static_cast<uint32>(*q - '0');
    n = n > kMax / 10 ? kMax : n * 10 + d;
    n = n > kMax ? kMax : n;
  }
  return n;
}

// The number rule: spaces and tabs skipped, the run of decimal digits, at most 2^31 - 1.
// Moves `s` past what it read.
inline uint32 number(const char *&s) {
  const char *q = s;
  while (*q == ' ' || *q == '\t') ++q;
  const char *digits = q;
  uint32 n = 0;
  for (uint32 d; (d = static_cast<uint32>(static_cast<unsigned char>(*q)) - '0') < 10; ++q)
    n = n * 10 + d;
  s = q;
  return q - digits < 10 ? n : longNumber(digits, q);  // nine digits stay below 2^31 - 1
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

// Ends the piece at a byte that is not a valid character: NUL, '#' or any other.
bool stopBad(TvWhy *why, const char *piece, const char *at, uint8 m) {
  return stop(why, *at == '\0' ? TV_NUL : *at == '#' ? TV_HASH : TV_INVALID, piece, at, m);
}

// The states (TvState): 0 before the first brace group, 1 in it, 2 between the groups, 3 in the
// second, 4 before the address, 5 in it. Each state runs as a loop of its own over its
// characters.
// `Explain` fills `why`; the plug-in's reload runs the copy without it.
template <bool Explain>
bool parse(const char *piece, Tolvane *rec, TvWhy *why) {
  *rec = Tolvane{};
  if (Explain) *why = TvWhy{};
  const char *p = piece;
  uint32 seeds[2] = {0, 0};
  for (uint8 m = TV_BEFORE_RSEED; m < TV_BEFORE_ADDRESS; m = static_cast<uint8>(m + 2)) {
    // State 0 or 2: valid characters up to the '{'.
    while (cls(p) > OPEN) ++p;
    if (cls(p) == BAD) return stopBad(why, piece, p, m);
    if (Explain) why->open[m / 2] = static_cast<uint8>(p - piece);
    ++p;
    // State 1 or 3: up to 9 digit letters, then '}'. After "{Z" in the second group, the next
    // byte is a letter if it lies in 'A' to 'P' at all (J, K and L count 0).
    const uint8 g = m / 2;
    const uint8 in = static_cast<uint8>(m + 1);
    const char *first = p;
    uint32 seed = 0;
    int j = 0;
    for (;; ++p) {
      uint32 digit = kT.digit[static_cast<unsigned char>(*p)];
      if (digit > 12) {
        const Cls k = cls(p);
        if (k == CLOSE) break;
        if (k == BAD) return stopBad(why, piece, p, in);
        if (k != ZED) return stop(why, TV_NOT_LETTER, piece, p, in);
        if (g == 0 || p != first) return stop(why, TV_Z_PLACE, piece, p, in);
        ++p;
        if (*p < 'A' || *p > 'P') return stop(why, TV_Z_LETTER, piece, p, in);
        digit = RegHash[*p - 'A'];
      }
      if (j > 8) return stop(why, TV_TENTH_LETTER, piece, p, in);
      seed += digit * kT.pow13[j];
      if (Explain) {
        why->letters[g] = static_cast<uint8>(j + 1);
        why->seedSum[g] += static_cast<uint64_t>(digit) * kT.pow13[j];
      }
      ++j;
    }
    seeds[g] = seed;
    if (Explain) why->close[g] = static_cast<uint8>(p - piece);
    ++p;
  }
  // State 4: valid characters up to the opening double quote.
  while (cls(p) != QUOTE && cls(p) != BAD) ++p;
  if (cls(p) == BAD) return stopBad(why, piece, p, TV_BEFORE_ADDRESS);
  if (Explain) why->quote = static_cast<uint8>(p - piece);
  ++p;
  // State 5: up to four octet tokens, each ended by '.' or, the last, by the closing quote.
  uint32 ipMin = 0, ipMax = 0;
  for (int i = 0;; ++i) {
    const char *Ptr = p;
    if (i == 4) {
      if (cls(p) == BAD) return stopBad(why, piece, p, TV_IN_ADDRESS);
      return stop(why, TV_FIFTH_OCTET, piece, p, TV_IN_ADDRESS);
    }
    // The number rule reads the token's start; the scan then runs on to its terminator.
    const bool star = *p == '*';
    const uint32 n = star ? 0 : number(p);
    while (kT.inToken[static_cast<unsigned char>(*p)]) ++p;
    if (*p != '.' && *p != '"') return stopBad(why, piece, p, TV_IN_ADDRESS);
    const uint32 weight = kT.pow256[3 - i];
    if (Explain) {
      why->nbrOctets = static_cast<uint8>(i + 1);
      why->octStart[i] = static_cast<uint8>(Ptr - piece);
    }
    if (star) {
      if (Ptr + 1 != p) return stop(why, TV_STAR, piece, Ptr + 1, TV_IN_ADDRESS);
      ipMax += 255u * weight;
      if (Explain) why->starMask = static_cast<uint8>(why->starMask | (1u << i));
    } else {
      const uint32 k = static_cast<uint8>(n);
      ipMin += k * weight;
      ipMax += k * weight;
      if (Explain) why->octNumber[i] = n;
    }
    if (*p == '"') {
      *rec = Tolvane{seeds[0], seeds[1], ipMin, ipMax};
      return stop(why, TV_RECORD, piece, p, TV_IN_ADDRESS);
    }
    ++p;
  }
}

}  // namespace

bool tvParsePiece(const char *piece, Tolvane *rec, TvWhy *why) {
  return why != nullptr ? parse<true>(piece, rec, why) : parse<false>(piece, rec, nullptr);
}

uint32 tvPieceBytes(const char *piece, int size) {
  const size_t len = strlen(piece);
  if (len + 1 == static_cast<size_t>(size) || (len > 0 && piece[len - 1] == '\n'))
    return static_cast<uint32>(len);
  return static_cast<uint32>(size - 1);
}

void tvCountPiece(TvRead *done, const char *piece, int size) {
  done->bytes += tvPieceBytes(piece, size);
  ++done->pieces;
}

int tvNextReadSize(TvRead done) {
  if (done.pieces >= TV_READ_PIECES) return 0;
  const uint32 left = TV_READ_LIMIT - done.bytes;
  if (left >= TV_READ_SIZE - 1) return TV_READ_SIZE;
  return left == 0 ? 0 : static_cast<int>(left) + 1;
}

TvRead tvReadList(TvReadFn read, void *src, char *iBfr, Tolvane *Recs, uint8 *nbrRecs,
                  TvPieceFn seen, void *ctx) {
  TvRead done{0, 0};
  for (int size; *nbrRecs < TV_NBR_RECS && (size = tvNextReadSize(done)) > 0;) {
    if (read(iBfr, size, src) == nullptr) break;
    tvCountPiece(&done, iBfr, size);
    if (seen == nullptr) {
      if (tvParsePiece(iBfr, &Recs[*nbrRecs], nullptr)) ++*nbrRecs;
      continue;
    }
    TvWhy why;
    Tolvane *rec = &Recs[*nbrRecs];
    if (tvParsePiece(iBfr, rec, &why)) ++*nbrRecs;
    seen(ctx, iBfr, rec, &why);
  }
  return done;
}

namespace {

// fgets on the list file, until it reports end of file. The stream is this reload's alone, so
// the unlocked forms do.
char *readFile(char *buf, int size, void *src) {
  FILE *f = static_cast<FILE *>(src);
  return feof_unlocked(f) != 0 ? nullptr : fgets_unlocked(buf, size, f);
}

// Whether the descriptor names a regular file. The C library's fstat binds a symbol of glibc
// 2.33 on current toolchains, which a host on an older system cannot load; the kernel's own call
// answers the same and needs nothing newer than glibc 2.0 (syscall). The kernel's stat64 on
// i386 and stat on x86-64 have the C library's layout.
bool isRegular(int fd) {
#if defined(__i386__)
  struct stat64 st {};
  if (syscall(SYS_fstat64, fd, &st) != 0) return false;
#else
  struct stat st {};
  if (syscall(SYS_fstat, fd, &st) != 0) return false;
#endif
  return S_ISREG(st.st_mode);
}

// The list as a stream when the path names a regular file; null otherwise. The open does not
// wait for a FIFO's writer or a terminal's line (O_NONBLOCK), does not make a terminal the
// host's own (O_NOCTTY), is not inherited by programs the host starts (O_CLOEXEC), and opens a
// file of any size on i386 as on x86-64 (O_LARGEFILE).
FILE *openList(const char *path, char *ioBfr) {
  // O_RDONLY is 0, and so is O_LARGEFILE on x86-64: the checker takes that for a slip.
  // NOLINTNEXTLINE(misc-redundant-expression)
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_LARGEFILE;
  const int fd = open(path, flags);
  if (fd < 0) return nullptr;
  FILE *f = isRegular(fd) ? fdopen(fd, "r") : nullptr;
  if (f == nullptr) {
    close(fd);
    return nullptr;
  }
  if (ioBfr != nullptr) setvbuf(f, ioBfr, _IOFBF, TV_IO_SIZE);
  return f;
}

}  // namespace

void tvReloadFile(const char *path, char *iBfr, Tolvane *Recs, uint8 *nbrRecs, char *ioBfr) {
  *nbrRecs = 0;  // the old table is gone even when the file cannot be opened
  if (path == nullptr) return;
  FILE *f = openList(path, ioBfr);
  if (f == nullptr) return;
  tvReadList(readFile, f, iBfr, Recs, nbrRecs, nullptr, nullptr);
  fclose(f);
}
