// Matching a user against the administrator table. The definitions are inline, so that the
// compiler sees the whole examination where it runs: once per connection, on every user.
#ifndef TV_MATCH_H
#define TV_MATCH_H

#include <arpa/inet.h>

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
inline TvProbe tvProbe(uint32 crc, uint32 counter, uint32 puidCtr, uint32 puidCRC,
                       uint32 feIPAddr) {
  TvProbe p;
  p.ipAdr = htonl(feIPAddr);  // the same swap as network to host order
  p.pSeed = puidCtr ^ puidCRC;
  p.rSeed = crc ^ counter ^ TV_MASK;
  return p;
}

// Compares one record with a probe.
inline TvVerdict tvCompare(const Tolvane *rec, const TvProbe *probe) {
  if (rec->rSeed != probe->rSeed) return TV_RSEED_DIFFERS;
  if (rec->pSeed != 0 && rec->pSeed != probe->pSeed) return TV_PSEED_DIFFERS;
  if (probe->ipAdr < rec->ipMin) return TV_BELOW;
  if (probe->ipAdr > rec->ipMax) return TV_ABOVE;
  return TV_MATCH;
}

// Index of the first matching record among the first nbrRecs, or -1.
inline int tvFindRecord(const Tolvane *Recs, uint8 nbrRecs, const TvProbe *probe) {
  // The probe in locals: on i386 there are too few registers to keep re-reading it cheaply.
  const uint32 rSeed = probe->rSeed, pSeed = probe->pSeed, ipAdr = probe->ipAdr;
  for (int i = 0; i < nbrRecs; ++i) {
    const Tolvane &r = Recs[i];
    // Most records differ in their registration seed: that path runs straight on, with one
    // taken branch per record. The rest is tvCompare's TV_MATCH.
    if (__builtin_expect(r.rSeed == rSeed, 0) && (r.pSeed == 0 || r.pSeed == pSeed) &&
        r.ipMin <= ipAdr && ipAdr <= r.ipMax)
      return i;
  }
  return -1;
}

#endif
