// Matching a user against the administrator table.
#include "tv-match.h"

#include <arpa/inet.h>

TvProbe tvProbe(uint32 crc, uint32 counter, uint32 puidCtr, uint32 puidCRC, uint32 feIPAddr) {
  TvProbe p;
  p.ipAdr = htonl(feIPAddr);  // the same swap as network to host order
  p.pSeed = puidCtr ^ puidCRC;
  p.rSeed = crc ^ counter ^ TV_MASK;
  return p;
}

TvVerdict tvCompare(const Tolvane *rec, const TvProbe *probe) {
  if (rec->rSeed != probe->rSeed) return TV_RSEED_DIFFERS;
  if (rec->pSeed != 0 && rec->pSeed != probe->pSeed) return TV_PSEED_DIFFERS;
  if (probe->ipAdr < rec->ipMin) return TV_BELOW;
  if (probe->ipAdr > rec->ipMax) return TV_ABOVE;
  return TV_MATCH;
}

int tvFindRecord(const Tolvane *Recs, uint8 nbrRecs, const TvProbe *probe) {
  const uint32 rSeed = probe->rSeed;
  for (int i = 0; i < nbrRecs; ++i) {
    // Most records differ in their registration seed: that path runs straight on, with one
    // taken branch per record.
    if (__builtin_expect(Recs[i].rSeed == rSeed, 0) && tvCompare(&Recs[i], probe) == TV_MATCH)
      return i;
  }
  return -1;
}
