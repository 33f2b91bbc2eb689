// Matching a user's values against records.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tv-match.h"

namespace {

constexpr uint32 ip(uint32 a, uint32 b, uint32 c, uint32 d) {
  return a << 24 | b << 16 | c << 8 | d;
}

}  // namespace

TEST(Match, ProbeXorsTheValuesAndSwapsTheAddress) {
  const TvProbe p =
      tvProbe(0x12345678u, 0x0F0F0F0Fu, 0xAAAA0000u, 0x0000BBBBu, htonl(ip(10, 1, 2, 3)));
  EXPECT_EQ(p.rSeed, 0x12345678u ^ 0x0F0F0F0Fu ^ 0x3E71D5A4u);
  EXPECT_EQ(p.pSeed, 0xAAAABBBBu);
  EXPECT_EQ(p.ipAdr, ip(10, 1, 2, 3));
}

TEST(Match, VerdictsForEachQuantity) {
  const Tolvane rec{53, 0, ip(10, 1, 0, 0), ip(10, 1, 255, 255)};
  const Tolvane puid{53, 77, 0, 0xFFFFFFFFu};
  struct Case {
    const Tolvane *rec;
    TvProbe probe;
    TvVerdict want;
  } const cases[] = {
      {&rec, {53, 12345, ip(10, 1, 0, 0)}, TV_MATCH},  // pSeed 0: any PUID; bounds inclusive
      {&rec, {53, 0, ip(10, 1, 255, 255)}, TV_MATCH},
      {&rec, {52, 0, ip(10, 1, 2, 3)}, TV_RSEED_DIFFERS},
      {&rec, {53, 0, ip(10, 0, 255, 255)}, TV_BELOW},
      {&rec, {53, 0, ip(10, 2, 0, 0)}, TV_ABOVE},
      {&puid, {53, 77, ip(200, 1, 1, 1)}, TV_MATCH},
      {&puid, {53, 0, ip(200, 1, 1, 1)}, TV_PSEED_DIFFERS},  // a PUID XOR of 0 needs pSeed 0
      {&puid, {53, 78, ip(200, 1, 1, 1)}, TV_PSEED_DIFFERS},
  };
  for (const Case &c : cases) EXPECT_EQ(tvCompare(c.rec, &c.probe), c.want) << c.probe.ipAdr;
}

TEST(Match, AddressesAboveTheSignBitCompareAsUnsigned) {
  const Tolvane wide{1, 0, ip(100, 0, 0, 0), ip(200, 0, 0, 0)};
  const TvProbe p{1, 0, ip(128, 0, 0, 1)};
  EXPECT_EQ(tvCompare(&wide, &p), TV_MATCH);
}

TEST(Match, TheFirstMatchingRecordWins) {
  const Tolvane recs[3] = {{1, 0, 0, 0}, {2, 0, 0, 0xFFFFFFFFu}, {2, 0, 0, 0xFFFFFFFFu}};
  const TvProbe p{2, 0, 5};
  EXPECT_EQ(tvFindRecord(recs, 3, &p), 1);
  EXPECT_EQ(tvFindRecord(recs, 1, &p), -1);  // records past the count are not looked at
  EXPECT_EQ(tvFindRecord(recs, 0, &p), -1);
}
