// The list tool against the plug-in: encoded lines read back to their values, and the records
// `check` reports are exactly those the plug-in's reload loads, in the stand-in host too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "explain.h"
#include "format.h"
#include "judge-content.h"
#include "seeds.h"
#include "tv-list.h"
#include "tv-match.h"

namespace {

const std::string kFixtures = TOLVANE_FIXTURES;

// Every list file the tests hold, and the example.
std::vector<std::string> listFiles() {
  std::vector<std::string> out = {kFixtures + "/../../examples/admins.list"};
  for (const char *dir : {"/check", "/lists"}) {
    for (const auto &e : std::filesystem::directory_iterator(kFixtures + dir)) {
      if (e.path().extension() == ".list") out.push_back(e.path().string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A random address pattern as an operator means it: numbers, then '*' for the rest.
std::string randomPattern(std::mt19937 &rng, uint32 &lo, uint32 &hi) {
  const int numbers = std::uniform_int_distribution<int>(0, 4)(rng);
  std::string p;
  lo = hi = 0;
  for (int i = 0; i < 4; ++i) {
    const uint32 v = std::uniform_int_distribution<uint32>(0, 255)(rng);
    if (i > 0) p += '.';
    p += i < numbers ? std::to_string(v) : "*";
    lo = lo << 8 | (i < numbers ? v : 0u);
    hi = hi << 8 | (i < numbers ? v : 255u);
  }
  return p;
}

}  // namespace

TEST(ListTool, SeedLettersAreTheShortest) {
  EXPECT_EQ(tl::seedLetters(0), "");
  EXPECT_EQ(tl::seedLetters(53), "FA");
  EXPECT_EQ(tl::seedLetters(12), "I");
  EXPECT_EQ(tl::seedLetters(13), "EF");
  EXPECT_EQ(tl::seedLetters(815730720), "IIIIIIII");  // 13^8 - 1: eight letters
  EXPECT_EQ(tl::seedLetters(815730721), "EEEEEEEEF");
  EXPECT_EQ(tl::seedLetters(4294967295u).size(), 9u);
}

// A note as operators write them: words, sometimes long, sometimes not ASCII, sometimes with
// list syntax in it.
std::string randomNote(std::mt19937 &rng) {
  static const char *const kWords[] = {"Jane",    "Doe,",         "ops",        "team",
                                       "ticket",  "OPS-1234",     "Zo\xC3\xAB", "{FA}",
                                       "{}",      "\"10.1.2.3\"", "#",          "caf\xC3\xA9",
                                       "on-call", "weekends",     "from",       "Malm\xC3\xB6"};
  std::string note;
  const int words = std::uniform_int_distribution<int>(0, 14)(rng);
  for (int i = 0; i < words; ++i) {
    if (i > 0) note += ' ';
    note += kWords[std::uniform_int_distribution<size_t>(0, std::size(kWords) - 1)(rng)];
  }
  return note;
}

TEST(ListTool, EncodedLinesReadBackThroughThePluginsParserAndPassCheck) {
  std::mt19937 rng(53);
  int anyAddress = 0, refusedNotes = 0;
  for (int n = 0; n < 20000; ++n) {
    const uint32 rSeed = static_cast<uint32>(rng());
    const uint32 pSeed = n % 3 == 0 ? 0u : static_cast<uint32>(rng());
    uint32 lo = 0, hi = 0;
    const std::string pattern = randomPattern(rng, lo, hi);
    const std::string note = randomNote(rng);
    std::string line, why;
    const bool written = tl::encodeLine(rSeed, pSeed, pattern, note, line, why);
    if (pattern[0] == '*') {
      // A pattern that admits any address is refused, and says so.
      ASSERT_FALSE(written) << pattern;
      EXPECT_NE(why.find("admits any address"), std::string::npos) << why;
      ++anyAddress;
      continue;
    }
    if (!written) {
      // Only a note whose rest past the 62nd byte would be read as a record is refused.
      EXPECT_NE(why.find("past the 62nd byte"), std::string::npos) << line << ": " << why;
      ++refusedNotes;
      continue;
    }
    // Every line encode writes passes check with no finding at all.
    const tl::Report r = tl::checkList("line", line + "\n");
    EXPECT_TRUE(r.findings.empty()) << line << ": " << r.findings.front().message;
    ASSERT_EQ(r.records.size(), 1u) << line;
    const std::string piece = line.substr(0, 62) + "\n";
    Tolvane rec;
    ASSERT_TRUE(tvParsePiece(piece.c_str(), &rec, nullptr)) << line;
    EXPECT_EQ(rec.rSeed, rSeed) << line;
    EXPECT_EQ(rec.pSeed, pSeed) << line;
    EXPECT_EQ(rec.ipMin, lo) << line;
    EXPECT_EQ(rec.ipMax, hi) << line;
  }
  EXPECT_GT(anyAddress, 0);  // the table of random cases reached both refusals
  EXPECT_GT(refusedNotes, 0);
}

TEST(ListTool, DecodeAppliesTheZRuleOnlyToPuidSeeds) {
  uint32 v = 0;
  uint64_t raw = 0;
  std::string why;
  EXPECT_TRUE(tl::decodeSeed("ZFA", true, v, raw, why));
  EXPECT_EQ(v, 53u);
  EXPECT_FALSE(tl::decodeSeed("ZFA", false, v, raw, why));
  EXPECT_EQ(why, "'Z' is allowed only directly after the PUID seed's '{'");
  EXPECT_TRUE(tl::decodeSeed("", false, v, raw, why));
  EXPECT_EQ(v, 0u);
}

TEST(ListTool, CheckReportsExactlyTheTableThePluginLoads) {
  for (const std::string &file : listFiles()) {
    const tl::Report r = tl::checkList(file, slurp(file));
    Tolvane recs[TV_NBR_RECS];
    uint8 n = 0;
    char buf[TV_BFR_SIZE];
    static char io[TV_IO_SIZE];  // as the plug-in reads: through its own stream buffer
    tvReloadFile(file.c_str(), buf, recs, &n, io);
    ASSERT_EQ(r.records.size(), n) << file;
    for (int i = 0; i < n; ++i) {
      const Tolvane &a = r.records[static_cast<size_t>(i)].rec;
      EXPECT_EQ(a.rSeed, recs[i].rSeed) << file << " slot " << i + 1;
      EXPECT_EQ(a.pSeed, recs[i].pSeed) << file << " slot " << i + 1;
      EXPECT_EQ(a.ipMin, recs[i].ipMin) << file << " slot " << i + 1;
      EXPECT_EQ(a.ipMax, recs[i].ipMax) << file << " slot " << i + 1;
    }
  }
}

// A probe user per reported record, played in the stand-in host with the real plug-in: each is
// recognised, and a user matching no reported record is not.
TEST(ListTool, EveryReportedRecordRecognisesItsProbeInTheHost) {
  char dir[] = "/tmp/tolvane-agree-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (const std::string &file : listFiles()) {
    const tl::Report r = tl::checkList(file, slurp(file));
    const std::string list = std::string(dir) + "/admins.list";
    const std::string script = std::string(dir) + "/probes.session";
    std::ofstream(list, std::ios::binary) << slurp(file);
    std::ofstream s(script);
    s << "wait 0\n";
    for (const tl::Loaded &l : r.records) {
      s << "user p" << l.slot << " crc=" << (l.rec.rSeed ^ TV_MASK) << " puidctr=" << l.rec.pSeed
        << " ip=" << tl::dotted(l.rec.ipMin) << "\nlogon p" << l.slot << "\nenter p" << l.slot
        << " r\n";
    }
    s << "user nobody crc=" << (0xDEADBEEFu ^ TV_MASK) << "\nlogon nobody\nenter nobody r\n";
    s.close();
    const std::string cmd = std::string(TOLVANE_HOST) + " --script " + script + " " +
                            TOLVANE_PLUGIN + " " + list + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");  // NOLINT(cert-env33-c): runs the host as a user would
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    EXPECT_EQ(pclose(p), 0) << out;
    for (const tl::Loaded &l : r.records) {
      EXPECT_NE(
          out.find("[global] Attention on deck! p" + std::to_string(l.slot) + " has come aboard!"),
          std::string::npos)
          << file << " slot " << l.slot;
    }
    EXPECT_EQ(out.find("nobody has come aboard"), std::string::npos) << file;
    std::remove(list.c_str());
    std::remove(script.c_str());
  }
  rmdir(dir);
}
