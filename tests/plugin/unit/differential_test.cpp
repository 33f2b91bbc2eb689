// The plug-in's parser against the plain character-at-a-time reference, on many pieces built
// from the characters that matter (fixed seed, so every run sees the same pieces).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "reference_parser.h"
#include "tv-list.h"

namespace {

// Mostly well-formed pieces with a few changes, so that every state is reached often.
std::string randomPiece(std::mt19937 &rng) {
  static const char kAlphabet[] =
      "{}{}\"\"\"...**ABCDEFGHIMNOPZZJKL0123456789  \t#\n\raq+\x80\xef\xff";
  static const char *const kShapes[] = {"{FA}{}\"10.1.*.*\"", "{MEHF} {BC} \"192.168.7.21\"",
                                        "{IIIIIIIII}{ZJ}\"1..2\"", "{}{}\"\"", "{A}{Z\"*.*.*.*.\""};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::uniform_int_distribution<int> coin(0, 3);
  std::string s = kShapes[std::uniform_int_distribution<size_t>(0, 4)(rng)];
  const int edits = std::uniform_int_distribution<int>(0, 4)(rng);
  for (int e = 0; e < edits; ++e) {
    const size_t at = std::uniform_int_distribution<size_t>(0, s.size())(rng);
    const char c = kAlphabet[pick(rng)];
    switch (coin(rng)) {
      case 0:
        s.insert(at, 1, c);
        break;
      case 1:
        if (at < s.size()) s.erase(at, 1);
        break;
      default:
        if (at < s.size()) s[at] = c;
        break;
    }
  }
  if (s.size() > 62) s.resize(62);
  return s;
}

}  // namespace

TEST(Differential, ParserAgreesWithTheReferenceOnEveryPiece) {
  std::mt19937 rng(20261210);
  for (int n = 0; n < 200000; ++n) {
    const std::string piece = randomPiece(rng);
    Tolvane got{}, want{};
    TvWhy gotWhy{}, wantWhy{};
    const bool g = tvParsePiece(piece.c_str(), &got, &gotWhy);
    const bool w = refParsePiece(piece.c_str(), &want, &wantWhy);
    ASSERT_EQ(g, w) << testing::PrintToString(piece);
    // Without a TvWhy the parser takes its quicker path, to the same result.
    Tolvane quick{};
    ASSERT_EQ(tvParsePiece(piece.c_str(), &quick, nullptr), w) << testing::PrintToString(piece);
    if (g) {
      ASSERT_EQ(0, std::memcmp(&quick, &want, sizeof quick)) << testing::PrintToString(piece);
    }
    ASSERT_EQ(gotWhy.end, wantWhy.end) << testing::PrintToString(piece);
    ASSERT_EQ(gotWhy.at, wantWhy.at) << testing::PrintToString(piece);
    ASSERT_EQ(gotWhy.m, wantWhy.m) << testing::PrintToString(piece);
    if (g) {
      ASSERT_EQ(0, std::memcmp(&got, &want, sizeof got)) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.letters[0], wantWhy.letters[0]) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.letters[1], wantWhy.letters[1]) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.seedSum[0], wantWhy.seedSum[0]) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.seedSum[1], wantWhy.seedSum[1]) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.nbrOctets, wantWhy.nbrOctets) << testing::PrintToString(piece);
      for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(gotWhy.open[k], wantWhy.open[k]) << testing::PrintToString(piece);
        ASSERT_EQ(gotWhy.close[k], wantWhy.close[k]) << testing::PrintToString(piece);
      }
      ASSERT_EQ(gotWhy.quote, wantWhy.quote) << testing::PrintToString(piece);
      ASSERT_EQ(gotWhy.starMask, wantWhy.starMask) << testing::PrintToString(piece);
      for (int i = 0; i < gotWhy.nbrOctets; ++i) {
        ASSERT_EQ(gotWhy.octStart[i], wantWhy.octStart[i]) << testing::PrintToString(piece);
        ASSERT_EQ(gotWhy.octNumber[i], wantWhy.octNumber[i]) << testing::PrintToString(piece);
      }
    }
  }
}
