// Matching a user against the administrator table.
#ifndef TV_MATCH_H
#define TV_MATCH_H

#include "tv-list.h"

// The registration values are XORed with this mask before they are compared.
enum : uint32 { TV_MASK = 0x3E71D5A4u };

// The three quantities compared with a record.
struct TvProbe {
  uint32 rSeed;
  uint32 pSeed;
  uint32 ipAdr;  // host order: first octet most significant
};

// Why a record does or does not match a probe.
enum TvVerdict : uint8 { TV_MATCH, TV_RSEED_DIFFERS, TV_PSEED_DIFFERS, TV_BELOW, TV_ABOVE };

// The probe of a user with these values; feIPAddr is in network byte order.
TvProbe tvProbe(uint32 crc, uint32 counter, uint32 puidCtr, uint32 puidCRC, uint32 feIPAddr);

// Compares one record with a probe.
TvVerdict tvCompare(const Tolvane *rec, const TvProbe *probe);

// Index of the first matching record among the first nbrRecs, or -1.
int tvFindRecord(const Tolvane *Recs, uint8 nbrRecs, const TvProbe *probe);

#endif
