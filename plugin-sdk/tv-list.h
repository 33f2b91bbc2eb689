// The administrator list: the record, the piece parser and the reload loop.
// The plug-in's reload and the operators' list tool both run this code, so they cannot disagree.
// No heap: the caller owns the table, the count and the line buffer.
#ifndef TV_LIST_H
#define TV_LIST_H

#include <stddef.h>
#include <stdint.h>

#include "s-serverpublic.h"

// One administrator: seeds and an inclusive address range (first octet most significant).
struct Tolvane {
  uint32 rSeed;
  uint32 pSeed;
  uint32 ipMin;
  uint32 ipMax;
};

enum : int {
  TV_NBR_RECS = 32,   // table capacity
  TV_BFR_SIZE = 64,   // the line buffer
  TV_READ_SIZE = 63,  // one read: at most 62 characters and a NUL
  TV_IO_SIZE = 4096,  // the reload's stream buffer
};

// A reload reads at most TV_READ_LIMIT bytes and at most TV_READ_PIECES pieces of the list,
// whichever comes first; what lies beyond is ignored, as lines past the 32nd record are. Together
// they bound a reload's cost whatever the path names: a piece (one read) costs about 15 ns on
// x86-64 and 25 ns on i386, a byte well under 1 ns, so the costliest file (4,096 empty lines and
// more) takes about 0.1 ms, and 64 KiB in whole pieces less. A list of 32 records with comments
// on every line and between them is a few KiB and a few hundred pieces.
enum : uint32 {
  TV_READ_LIMIT = 1u << 16,  // bytes (64 KiB)
  TV_READ_PIECES = 4096,     // pieces: a line of up to 62 bytes is one, a longer one one per 62
};

// How much of the list a reading has taken.
struct TvRead {
  uint32 bytes;   // as tvPieceBytes counts them
  uint32 pieces;  // reads that gave a piece
};

// How a piece ended.
enum TvEnd : uint8 {
  TV_RECORD,        // at the closing double quote: a record
  TV_NUL,           // the piece ran out before the record was complete
  TV_HASH,          // '#' before the closing double quote
  TV_INVALID,       // a byte that is not a valid character (newline and carriage return included)
  TV_NOT_LETTER,    // in a brace group, a character that is neither a digit letter nor '}'
  TV_TENTH_LETTER,  // a tenth letter in a brace group
  TV_Z_PLACE,       // 'Z' anywhere but directly after the second group's '{'
  TV_Z_LETTER,      // after "{Z", a character outside 'A' to 'P'
  TV_FIFTH_OCTET,   // a character after the fourth octet's '.'
  TV_STAR,          // '*' not alone in its octet
};

// The parser's states, in the order a record passes through them.
enum TvState : uint8 {
  TV_BEFORE_RSEED,    // 0: before the registration seed's '{'
  TV_IN_RSEED,        // 1: in the registration seed's braces
  TV_BEFORE_PSEED,    // 2: between the two brace groups
  TV_IN_PSEED,        // 3: in the PUID seed's braces
  TV_BEFORE_ADDRESS,  // 4: before the address's opening double quote
  TV_IN_ADDRESS,      // 5: in the address
};

// What the parser saw of one piece; filled only when the caller asks for it.
struct TvWhy {
  TvEnd end;            // how the piece ended
  uint8 at;             // index of the character that ended it (the closing quote for a record)
  uint8 m;              // parser state then, a TvState
  uint8 letters[2];     // letters read in the first and second brace group
  uint64_t seedSum[2];  // the seeds' values before wrapping modulo 2^32
  uint8 nbrOctets;      // octet tokens read
  uint8 starMask;       // bit i set: octet i was '*'
  uint8 octStart[4];    // index of each octet token's first character
  uint32 octNumber[4];  // each number octet's value before wrapping modulo 256
  uint8 open[2];        // index of each brace group's '{'
  uint8 close[2];       // index of each brace group's '}'
  uint8 quote;          // index of the address's opening double quote
};

// Parses one piece (a NUL-terminated string) into *rec, which it clears first.
// Returns true when the piece gives a record; when `why` is not null, says how the piece ended.
bool tvParsePiece(const char *piece, Tolvane *rec, TvWhy *why);

// Reads the next piece of at most size - 1 characters into buf, fgets-style; null at the end.
using TvReadFn = char *(*)(char *buf, int size, void *src);
// Told of every piece the reload reads: the record it filled (valid for a record) and how it ended.
using TvPieceFn = void (*)(void *ctx, const char *piece, const Tolvane *rec, const TvWhy *why);

// Reads pieces from `src` into the table after its *nbrRecs records until the source ends, the
// table holds TV_NBR_RECS records or a limit is reached (TV_READ_LIMIT bytes, TV_READ_PIECES
// pieces). `iBfr` holds TV_BFR_SIZE bytes. `seen` may be null. Returns how much it read.
TvRead tvReadList(TvReadFn read, void *src, char *iBfr, Tolvane *Recs, uint8 *nbrRecs,
                  TvPieceFn seen, void *ctx);

// How many bytes of the source a read of `size` that gave `piece` took. A read stops after a
// newline or when the buffer is full; a piece that ends otherwise either ends the source or
// holds a NUL byte that hides where the read stopped, and counts as the whole read (size - 1).
uint32 tvPieceBytes(const char *piece, int size);

// Counts a read of `size` that gave `piece` into `done`.
void tvCountPiece(TvRead *done, const char *piece, int size);

// The size of the next read after `done`: TV_READ_SIZE, or less near the byte limit, so that no
// read goes past TV_READ_LIMIT; 0 once either limit is reached.
int tvNextReadSize(TvRead done);

// Rebuilds the table from the file at `path`, read with fgets: the table is emptied first and
// stays empty when there is no path or the path names no regular file that can be opened. The
// open never waits (a FIFO, a terminal), never makes a terminal the process's own, and leaves no
// descriptor to programs the host starts; it reads no further than tvReadList does.
// `ioBfr`, when not null, is the stream's buffer of TV_IO_SIZE bytes, so that reading the file
// allocates no buffer.
void tvReloadFile(const char *path, char *iBfr, Tolvane *Recs, uint8 *nbrRecs, char *ioBfr);

// A string read like a file: the reader below returns its lines as fgets would. It lives in
// tv-string.cpp, which the tools and tests link and the plug-in does not.
struct TvString {
  const char *data;
  size_t len;
  size_t pos;
};
char *tvReadString(char *buf, int size, void *src);

#endif
