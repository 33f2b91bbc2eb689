// The piece parser, one piece at a time: the text, then the record it gives or how it ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tv-list.h"

namespace {

constexpr uint32 ip(uint32 a, uint32 b, uint32 c, uint32 d) {
  return a << 24 | b << 16 | c << 8 | d;
}

struct Case {
  const char *piece;
  TvEnd end;
  Tolvane rec;  // compared only for a record
};

const Tolvane kNone{};

const Case kCases[] = {
    // The example record: {FA} is 1 + 4 x 13.
    {"{FA} {} \"10.1.*.*\"\n", TV_RECORD, {53, 0, ip(10, 1, 0, 0), ip(10, 1, 255, 255)}},
    {"{MEHF} {BC} \"192.168.7.21\"   # note\n",
     TV_RECORD,
     {2712, 83, ip(192, 168, 7, 21), ip(192, 168, 7, 21)}},
    {"{}{}\"\"\n", TV_RECORD, {0, 0, 0, 0}},
    {"{}{}\"\"", TV_RECORD, {0, 0, 0, 0}},  // no newline: the last line of a file
    {"{A}{A}\"1.2.3.4\"\r\n", TV_RECORD, {4, 4, ip(1, 2, 3, 4), ip(1, 2, 3, 4)}},
    {"x{E}y{F}z\"9\"", TV_INVALID, kNone},  // 'x' is not valid
    {"  \"{E}\"{F}\"9\"",
     TV_RECORD,
     {0, 1, ip(9, 0, 0, 0), ip(9, 0, 0, 0)}},  // quotes skipped before the groups
    {"{E} 12 * {F} {\"9\"", TV_RECORD, {0, 1, ip(9, 0, 0, 0), ip(9, 0, 0, 0)}},
    // Every digit letter, least significant first.
    {"{EFGHABCDM}{}\"\"",
     TV_RECORD,
     {0u + 1u * 13u + 2u * 169u + 3u * 2197u + 4u * 28561u + 5u * 371293u + 6u * 4826809u +
          7u * 62748517u + 8u * 815730721u,
      0, 0, 0}},
    {"{N}{O}\"\"", TV_RECORD, {9, 10, 0, 0}},
    {"{P}{I}\"\"", TV_RECORD, {11, 12, 0, 0}},
    // Nine letters wrap modulo 2^32: 13^9 - 1 = 10604499372.
    {"{IIIIIIIII}{}\"\"", TV_RECORD, {2014564780u, 0, 0, 0}},
    {"{IIIIIIIIII}{}\"\"", TV_TENTH_LETTER, kNone},
    {"{}{IIIIIIIIII}\"\"", TV_TENTH_LETTER, kNone},
    // Z: only directly after the second group's brace, then a letter; J, K, L there count 0.
    {"{FA}{ZFA}\"1\"", TV_RECORD, {53, 53, ip(1, 0, 0, 0), ip(1, 0, 0, 0)}},
    {"{FA}{ZJ}\"1\"", TV_RECORD, {53, 0, ip(1, 0, 0, 0), ip(1, 0, 0, 0)}},
    {"{FA}{ZKF}\"1\"", TV_RECORD, {53, 13, ip(1, 0, 0, 0), ip(1, 0, 0, 0)}},
    {"{FA}{ZL}\"1\"", TV_RECORD, {53, 0, ip(1, 0, 0, 0), ip(1, 0, 0, 0)}},
    {"{ZA}{}\"1\"", TV_Z_PLACE, kNone},
    {"{}{AZ}\"1\"", TV_Z_PLACE, kNone},
    {"{}{Z}\"1\"", TV_Z_LETTER, kNone},
    {"{}{ZZ}\"1\"", TV_Z_LETTER, kNone},
    {"{}{Z", TV_Z_LETTER, kNone},
    {"{}{Zq}\"1\"", TV_Z_LETTER, kNone},
    // Letters outside the digits.
    {"{J}{}\"\"", TV_INVALID, kNone},
    {"{a}{}\"\"", TV_INVALID, kNone},
    {"{A B}{}\"\"", TV_NOT_LETTER, kNone},
    {"{A{}{}\"\"", TV_NOT_LETTER, kNone},
    {"{A\"}{}\"\"", TV_NOT_LETTER, kNone},
    // Structure.
    {"{A}\"1.2.3.4\"", TV_NUL, kNone},  // one group only
    {"{A}\"1.2.3.4\"\n", TV_INVALID, kNone},
    {"", TV_NUL, kNone},
    {"\n", TV_INVALID, kNone},
    {"   \t  \n", TV_INVALID, kNone},
    {"# comment {A}{}\"\"\n", TV_HASH, kNone},
    {"{A}{} # \"1\"", TV_HASH, kNone},
    {"{A}{}\"1.2#\"", TV_HASH, kNone},
    {"{A}{}\"1.2.3.4\" # a note", TV_RECORD, {4, 0, ip(1, 2, 3, 4), ip(1, 2, 3, 4)}},
    {"{A}{}\"1.2.3.4\" anything at all {", TV_RECORD, {4, 0, ip(1, 2, 3, 4), ip(1, 2, 3, 4)}},
    {"{A}{}\"1.2", TV_NUL, kNone},
    {"{A}{}\"1.2\r\n", TV_INVALID, kNone},
    {"\xEF\xBB\xBF{A}{}\"1\"\n", TV_INVALID, kNone},  // a byte-order mark
    {"{A}{}\"caf\xE9\"", TV_INVALID, kNone},
    {"{A}{}+\"1\"", TV_INVALID, kNone},
    // Octets.
    {"{A}{}\"1.2.3.4.5\"", TV_FIFTH_OCTET, kNone},
    {"{A}{}\"1.2.3.4.\"", TV_FIFTH_OCTET, kNone},
    {"{A}{}\"300.1..010\"", TV_RECORD, {4, 0, ip(44, 1, 0, 10), ip(44, 1, 0, 10)}},
    {"{A}{}\"10.1\"", TV_RECORD, {4, 0, ip(10, 1, 0, 0), ip(10, 1, 0, 0)}},
    {"{A}{}\"*\"", TV_RECORD, {4, 0, 0, ip(255, 0, 0, 0)}},
    {"{A}{}\"*.*.*.*\"", TV_RECORD, {4, 0, 0, 0xFFFFFFFFu}},
    {"{A}{}\"10.*.1.*\"", TV_RECORD, {4, 0, ip(10, 0, 1, 0), ip(10, 255, 1, 255)}},
    {"{A}{}\"**\"", TV_STAR, kNone},
    {"{A}{}\"1.*5\"", TV_STAR, kNone},
    {"{A}{}\"1.* \"", TV_STAR, kNone},
    {"{A}{}\" *.1\"", TV_RECORD, {4, 0, ip(0, 1, 0, 0), ip(0, 1, 0, 0)}},  // a space, then '*': 0
    {"{A}{}\" 7.\t8.1A.AB\"", TV_RECORD, {4, 0, ip(7, 8, 1, 0), ip(7, 8, 1, 0)}},
    {"{A}{}\"{.}\"", TV_RECORD, {4, 0, 0, 0}},
    {"{A}{}\"3000000000\"", TV_RECORD, {4, 0, ip(255, 0, 0, 0), ip(255, 0, 0, 0)}},
    {"{A}{}\"99999999999999999999\"", TV_RECORD, {4, 0, ip(255, 0, 0, 0), ip(255, 0, 0, 0)}},
    // Values whose tenfold passes 2^32 still count 255, not what 32 bits would wrap them to.
    {"{A}{}\"4294967296.42949672960.4294967301.21474836480\"",
     TV_RECORD,
     {4, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}},
    {"{A}{}\"2147483647.2147483648\"", TV_RECORD, {4, 0, ip(255, 255, 0, 0), ip(255, 255, 0, 0)}},
    {"{A}{}\"256.257.511.512\"", TV_RECORD, {4, 0, ip(0, 1, 255, 0), ip(0, 1, 255, 0)}},
    {"{A}{}\"255.255.255.255\"", TV_RECORD, {4, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}},
};

std::string describe(const Case &c) {
  return testing::PrintToString(std::string(c.piece));
}

}  // namespace

TEST(PieceParser, EveryCaseOfTheTable) {
  for (const Case &c : kCases) {
    Tolvane rec{1, 1, 1, 1};
    TvWhy why{};
    const bool gave = tvParsePiece(c.piece, &rec, &why);
    EXPECT_EQ(why.end, c.end) << describe(c);
    EXPECT_EQ(gave, c.end == TV_RECORD) << describe(c);
    if (c.end == TV_RECORD) {
      EXPECT_EQ(rec.rSeed, c.rec.rSeed) << describe(c);
      EXPECT_EQ(rec.pSeed, c.rec.pSeed) << describe(c);
      EXPECT_EQ(rec.ipMin, c.rec.ipMin) << describe(c);
      EXPECT_EQ(rec.ipMax, c.rec.ipMax) << describe(c);
    }
    // Without a TvWhy the parser comes to the same result.
    Tolvane again{};
    EXPECT_EQ(tvParsePiece(c.piece, &again, nullptr), gave) << describe(c);
    if (gave) {
      EXPECT_EQ(0, memcmp(&again, &rec, sizeof rec)) << describe(c);
    }
  }
}

TEST(PieceParser, SaysWhereAndInWhichStateAPieceEnded) {
  Tolvane rec{};
  TvWhy why{};
  EXPECT_FALSE(tvParsePiece("{FA}{} 1.2 \"10.1.2.3.4\"", &rec, &why));
  EXPECT_EQ(why.end, TV_FIFTH_OCTET);
  EXPECT_EQ(why.at, 21);  // the '4'
  EXPECT_EQ(why.m, 5);
  EXPECT_FALSE(tvParsePiece("{FA}{B C}", &rec, &why));
  EXPECT_EQ(why.end, TV_NOT_LETTER);
  EXPECT_EQ(why.at, 6);
  EXPECT_EQ(why.m, 3);
  EXPECT_FALSE(tvParsePiece("{A}{}\"1.*5\"", &rec, &why));
  EXPECT_EQ(why.end, TV_STAR);
  EXPECT_EQ(why.at, 9);  // the '5' after the '*'
}

TEST(PieceParser, ReportsTheValuesAsWrittenBeforeTheyWrap) {
  Tolvane rec{};
  TvWhy why{};
  ASSERT_TRUE(tvParsePiece("{IIIIIIIII}{FA}\"300.*. 7.3000000000\"", &rec, &why));
  EXPECT_EQ(why.letters[0], 9);
  EXPECT_EQ(why.letters[1], 2);
  EXPECT_EQ(why.seedSum[0], 10604499372ull);
  EXPECT_EQ(why.seedSum[1], 53u);
  EXPECT_EQ(why.nbrOctets, 4);
  EXPECT_EQ(why.starMask, 0x2);
  EXPECT_EQ(why.octNumber[0], 300u);
  EXPECT_EQ(why.octNumber[2], 7u);
  EXPECT_EQ(why.octNumber[3], 2147483647u);
  EXPECT_EQ(why.octStart[0], 16);
  EXPECT_EQ(why.octStart[1], 20);
  EXPECT_EQ(why.octStart[2], 22);
  EXPECT_EQ(why.octStart[3], 25);
  EXPECT_EQ(why.at, 35);
}

TEST(PieceParser, StringsLongerThanAPieceAreSafeToo) {
  // The reload hands the parser 62 characters at most; other callers may hand it more.
  const std::string letters(300, 'A'), digits(300, '9');
  const std::string cases[] = {"{" + letters + "}{}\"1\"", "{}{Z" + letters + "}\"1\"",
                               "{A}{}\"" + digits + "\"", std::string(300, ' ') + "{A}{}\"1\""};
  const TvEnd ends[] = {TV_TENTH_LETTER, TV_TENTH_LETTER, TV_RECORD, TV_RECORD};
  for (size_t i = 0; i < 4; ++i) {
    Tolvane rec{};
    TvWhy why{};
    EXPECT_EQ(tvParsePiece(cases[i].c_str(), &rec, &why), ends[i] == TV_RECORD) << i;
    EXPECT_EQ(why.end, ends[i]) << i;
    EXPECT_EQ(tvParsePiece(cases[i].c_str(), &rec, nullptr), ends[i] == TV_RECORD) << i;
  }
}
