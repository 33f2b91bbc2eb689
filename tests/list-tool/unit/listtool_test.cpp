// The list tool against the plug-in: encoded lines read back to their values, and the records
// `check` reports are exactly those the plug-in's reload loads, in the stand-in host too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "build-paths.h"
#include "content/encoding.h"
#include "content/explain.h"
#include "content/report.h"
#include "content/shown.h"
#include "content/table-diff.h"
#include "file-bytes.h"
#include "files/file-system.h"
#include "launch.h"
#include "reference_parser.h"
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
    std::string line;
    const tl::Outcome encoded = tl::encodeLine(rSeed, pSeed, pattern, note, line);
    const bool written = encoded.ok();
    const std::string &why = encoded.message;
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
  EXPECT_TRUE(tl::decodeSeed("ZFA", true, v, raw).ok());
  EXPECT_EQ(v, 53u);
  const tl::Outcome asRegistration = tl::decodeSeed("ZFA", false, v, raw);
  EXPECT_EQ(asRegistration.kind, tl::Outcome::Refused);
  EXPECT_EQ(asRegistration.message, "'Z' is allowed only directly after the PUID seed's '{'");
  EXPECT_TRUE(tl::decodeSeed("", false, v, raw).ok());
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
    const std::string cmd = launched(TOLVANE_HOST) + " --script " + script + " " + TOLVANE_PLUGIN +
                            " " + list + " 2>&1";
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

namespace {

// One line of a list file a finding is about, or a whole small file.
struct Case {
  const char *code;
  std::string text;
};

// Every finding check makes about a list's bytes, each with a small file that shows it.
std::vector<Case> findingCatalogue() {
  std::string thirtyThree, twoPieces = "{FA} {} \"10.1.2.3\"   # ";
  for (uint32 i = 1; i <= 33; ++i) thirtyThree += "{" + tl::seedLetters(i) + "} {} \"10.0.0.1\"\n";
  twoPieces += std::string(40, '1') + " {GA} {} \"10.2.*.*\"\n";
  std::string tooLong(TV_READ_LIMIT, '\n');
  tooLong = "{FA} {} \"1.2.3.4\"\n" + tooLong + "{GA} {} \"1.2.3.5\"\n";
  std::string garbage;
  for (int i = 0; i < 60; ++i) garbage += "x\n";
  return {
      {"invalid", "{FA} {} \"10.1.2.3\" + {GA}\n{F-} {} \"1.2.3.4\"\n"},
      {"not-address", "{FA} {} \"localhost\"\n"},
      {"lower-case", "{Fa} {} \"10.2.0.1\"\n"},
      {"bom", "\xEF\xBB\xBF{FA} {} \"10.1.2.3\"\n{GA} {} \"10.1.2.4\"\n"},
      {"typographic-quote",
       "{FA} {} \xE2\x80\x9C"
       "10.1.2.3\xE2\x80\x9D\n"},
      {"incomplete", "{FA} {}\n"},
      {"cidr", "{FA} {} \"10.0.0.0/8\"\n{GA} {} \"0.0.0.0/0\"\n{HA} {} \"10.1.2.0/25\"\n"},
      {"range", "{FA} {} \"10.1.2.3-10.1.2.9\"\n"},
      {"missing-braces", "FA {} \"10.1.2.3\"\n"},
      {"unquoted-address", "{FA} {} 10.1.2.3\n"},
      {"open-quote", "{FA} {} 10.1.2.3\"\n"},
      {"hash", "{FA} {} \"10.1.2.3  # Ada\n"},
      {"nul-byte", std::string("{FA} {} \"10.1", 12) + std::string(1, '\0') + ".2.3\"\n"},
      {"cut", "{FA} {} " + std::string(60, ' ') + "\"10.1.2.3\"\n"},
      {"not-letter", "{F1} {} \"10.1.2.3\"\n"},
      {"unclosed-group", "{FA{} \"10.1.2.3\"\n"},
      {"tenth-letter", "{AAAAAAAAAA} {} \"10.1.2.3\"\n"},
      {"z-place", "{ZA} {} \"10.1.2.3\"\n"},
      {"z-letter", "{FA} {Z} \"10.1.2.3\"\n"},
      {"fifth-octet", "{FA} {} \"1.2.3.4.5\"\n"},
      {"star", "{FA} {} \"10.1.*5.*\"\n"},
      {"seed-wraps", "{IIIIIIIII} {} \"10.1.2.3\"\n"},
      {"skipped-letters", "FA {GA} {} \"10.1.2.3\"\n"},
      {"skipped-text",
       "{FA} BC {} \"10.1.2.3\"\n{GA} {} 12 \"10.1.2.4\"\n7 {HA} {} \"10.1.2.5\"\n"},
      {"extra-group", "{FA} {} {BC} \"10.1.2.3\"\n{GA} {HA} {BC} \"10.1.2.4\"\n"},
      {"empty-rseed", "{} {} \"10.1.2.3\"\n"},
      {"empty-octet", "{FA} {} \"10..2.3\"\n"},
      {"octet-text", "{FA} {} \"10.1A.2.3\"\n"},
      {"octet-wraps", "{FA} {} \"10.300.2.3\"\n"},
      {"star-then-number", "{FA} {} \"10.*.5.*\"\n"},
      {"any-address", "{FA} {} \"*.*.*.*\"\n{GA} {} \"*\"\n"},
      {"short-pattern", "{FA} {} \"10.1.*\"\n{GA} {} \"10.1\"\n{HA} {} \"10.1.2\"\n"},
      {"trailing-text", "{FA} {} \"10.1.2.3\" 99\n"},
      {"spill-record", twoPieces},
      {"split", "{FA} {} \"10.1.2.3\"" + std::string(50, ' ') + "x\n"},
      {"table-full", thirtyThree},
      {"too-long", tooLong},
      {"duplicate", "{FA} {} \"10.1.*.*\"\n{FA} {} \"10.1.*.*\"\n"},
      {"shadowed", "{FA} {} \"10.1.*.*\"\n{FA} {BC} \"10.1.2.*\"\n"},
      {"no-records", "# nothing but a comment\n"},
      {"cr-line-ends", "{FA} {} \"10.1.2.3\" # Ada\r{FB} {} \"10.1.2.4\" # Bob\r"},
      {"lone-cr", "{FA} {} \"10.1.2.3\" # Ada\r{FB} {} \"10.1.2.4\"\n"},
      {"mixed-line-ends", "{FA} {} \"10.1.2.3\"\r\n{FB} {} \"10.1.2.4\"\n"},
      {"left-out", garbage},
  };
}

// The indexes of the bytes the plug-in's reader passes over in a piece that gives a record.
void noteSkipped(void *ctx, size_t at) {
  static_cast<std::vector<size_t> *>(ctx)->push_back(at);
}

// The table the plug-in itself loads from these bytes, through a file as it reads one.
std::vector<Tolvane> pluginTable(const std::string &text) {
  char path[] = "/tmp/tolvane-catalogue-XXXXXX";
  const int fd = mkstemp(path);
  std::vector<Tolvane> out;
  if (fd < 0) return out;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 0;
  char buf[TV_BFR_SIZE];
  if (written) tvReloadFile(path, buf, recs, &n, nullptr);
  std::remove(path);
  out.assign(recs, recs + n);
  return out;
}

}  // namespace

// Every finding of the catalogue, against the plug-in's own reader: what check says is loaded
// (seeds, range, slot) is what the plug-in loads, and every run of bytes the reader skips inside
// a record's line (other than blanks) has a finding that points into it.
TEST(ListTool, EveryFindingAgreesWithThePluginsReader) {
  for (const Case &c : findingCatalogue()) {
    const tl::Report r = tl::checkList("case", c.text);
    bool found = false;
    for (const tl::Finding &f : r.findings) found = found || f.code == c.code;
    EXPECT_TRUE(found) << c.code << ": no such finding for " << testing::PrintToString(c.text);
    const std::vector<Tolvane> table = pluginTable(c.text);
    ASSERT_EQ(r.records.size(), table.size()) << c.code;
    for (size_t i = 0; i < table.size(); ++i) {
      EXPECT_EQ(r.records[i].slot, static_cast<int>(i) + 1) << c.code;
      EXPECT_EQ(r.records[i].rec.rSeed, table[i].rSeed) << c.code << " slot " << i + 1;
      EXPECT_EQ(r.records[i].rec.pSeed, table[i].pSeed) << c.code << " slot " << i + 1;
      EXPECT_EQ(r.records[i].rec.ipMin, table[i].ipMin) << c.code << " slot " << i + 1;
      EXPECT_EQ(r.records[i].rec.ipMax, table[i].ipMax) << c.code << " slot " << i + 1;
    }
    // Lines short enough to be one piece each.
    std::istringstream lines(c.text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
      ++number;
      if (line.size() + 1 >= TV_READ_SIZE || line.find('\r') != std::string::npos) continue;
      const std::string piece = line + "\n";
      std::vector<size_t> skipped;
      Tolvane rec;
      if (!refParsePiece(piece.c_str(), &rec, nullptr, noteSkipped, &skipped)) continue;
      // Runs of skipped bytes that are not blank, each [first, last].
      std::vector<std::pair<size_t, size_t>> runs;
      for (size_t k = 0; k < skipped.size(); ++k) {
        const size_t at = skipped[k];
        if (piece[at] == ' ' || piece[at] == '\t') continue;
        if (!runs.empty() && skipped[k - 1] + 1 == at) {
          runs.back().second = at;  // the same run, blanks within it
        } else {
          runs.emplace_back(at, at);
        }
      }
      for (const auto &run : runs) {
        bool pointed = false;
        for (const tl::Finding &f : r.findings) {
          const auto col = static_cast<size_t>(f.column - 1);
          pointed = pointed || (f.line == number && col >= run.first && col <= run.second);
        }
        EXPECT_TRUE(pointed) << c.code << ": line " << number << " skips "
                             << testing::PrintToString(
                                    piece.substr(run.first, run.second - run.first + 1))
                             << " without a finding";
      }
    }
  }
}

namespace {

// A list of these records, one a line, record i being {letters of i} {} "10.0.0.i".
std::string listOf(const std::vector<uint32> &ids) {
  std::string s;
  for (uint32 id : ids)
    s += "{" + tl::seedLetters(id) + "} {} \"10.0.0." + std::to_string(id) + "\"\n";
  return s;
}

}  // namespace

// diff of 32 records reversed, shuffled and partly replaced: every record is listed exactly
// once when it was added, removed or moved (its place among the kept records changed), and
// never otherwise.
TEST(ListTool, DiffListsEveryChangedRecordOnce) {
  std::vector<uint32> old;
  for (uint32 i = 1; i <= 32; ++i) old.push_back(i);
  std::vector<uint32> reversed(old.rbegin(), old.rend());
  std::vector<uint32> shuffled = old;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  std::vector<uint32> replaced = old;
  for (size_t i = 10; i < 16; ++i) replaced[i] = 100 + static_cast<uint32>(i);
  std::swap(replaced[0], replaced[31]);
  for (const auto &now : {reversed, shuffled, replaced}) {
    const tl::Report a = tl::checkList("old", listOf(old));
    const tl::Report b = tl::checkList("new", listOf(now));
    // What each record should be: kept ids in their new order, ranked among the kept.
    std::vector<uint32> keptOld, keptNew;
    for (uint32 id : old)
      if (std::find(now.begin(), now.end(), id) != now.end()) keptOld.push_back(id);
    for (uint32 id : now)
      if (std::find(old.begin(), old.end(), id) != old.end()) keptNew.push_back(id);
    std::map<uint32, int> listed;  // id -> times listed
    for (const tl::TableChange &c : tl::compareTables(a, b)) {
      const tl::Loaded &l = c.after != nullptr ? *c.after : *c.before;
      const uint32 id = l.rec.ipMin & 255u;
      ++listed[id];
      if (c.kind == tl::TableChange::Moved) {
        const auto wasRank = std::find(keptOld.begin(), keptOld.end(), id) - keptOld.begin();
        const auto isRank = std::find(keptNew.begin(), keptNew.end(), id) - keptNew.begin();
        EXPECT_NE(wasRank, isRank) << "record " << id << " listed as moved in place";
        EXPECT_EQ(c.before->slot, std::find(old.begin(), old.end(), id) - old.begin() + 1);
        EXPECT_EQ(c.after->slot, std::find(now.begin(), now.end(), id) - now.begin() + 1);
      }
    }
    for (uint32 id = 1; id <= 131; ++id) {
      const bool wasThere = std::find(old.begin(), old.end(), id) != old.end();
      const bool isThere = std::find(now.begin(), now.end(), id) != now.end();
      bool changed = wasThere != isThere;
      if (wasThere && isThere) {
        changed = std::find(keptOld.begin(), keptOld.end(), id) - keptOld.begin() !=
                  std::find(keptNew.begin(), keptNew.end(), id) - keptNew.begin();
      }
      EXPECT_EQ(listed[id], changed ? 1 : 0) << "record " << id;
    }
  }
  // Reversed, every one of the 32 has moved.
  const tl::Report a = tl::checkList("old", listOf(old));
  const tl::Report b = tl::checkList("new", listOf(reversed));
  EXPECT_EQ(tl::compareTables(a, b).size(), 32u);
}

// Every character that sets or marks the direction of text is shown as its bytes escaped, on the
// terminal and in the log, and as '?' under a finding; its neighbours stay as they are.
TEST(ListTool, DirectionCharactersAreEscapedWhereverTextIsShown) {
  // Each character as its bytes, made at run time so that none stands in the source.
  const auto utf8 = [](unsigned cp) -> std::string {
    if (cp < 0x800)
      return {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
    return {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
  };
  const struct {
    unsigned cp;
    const char *escaped;
  } cases[] = {
      {0x200E, "\\xE2\\x80\\x8E"}, {0x200F, "\\xE2\\x80\\x8F"}, {0x061C, "\\xD8\\x9C"},
      {0x202A, "\\xE2\\x80\\xAA"}, {0x202B, "\\xE2\\x80\\xAB"}, {0x202C, "\\xE2\\x80\\xAC"},
      {0x202D, "\\xE2\\x80\\xAD"}, {0x202E, "\\xE2\\x80\\xAE"}, {0x2066, "\\xE2\\x81\\xA6"},
      {0x2067, "\\xE2\\x81\\xA7"}, {0x2068, "\\xE2\\x81\\xA8"}, {0x2069, "\\xE2\\x81\\xA9"},
  };
  for (const auto &c : cases) {
    const std::string text = "Kay " + utf8(c.cp) + "\xC3\xA9)";
    EXPECT_TRUE(tl::setsDirection(c.cp)) << c.escaped;
    EXPECT_EQ(tl::escaped(text), std::string("Kay ") + c.escaped + "\xC3\xA9)") << c.escaped;
    EXPECT_EQ(tl::sourceLine(text, text.size()).text,
              "Kay " + std::string(utf8(c.cp).size(), '?') + "\xC3\xA9)")
        << c.escaped;
  }
  // Their neighbours in the same blocks are printable, and shown as they are.
  for (const unsigned kept : {0x2010u, 0x2030u, 0x2070u, 0x061Bu, 0x2065u, 0x202Fu}) {
    EXPECT_FALSE(tl::setsDirection(kept)) << std::hex << kept;
    EXPECT_EQ(tl::escaped(utf8(kept)), utf8(kept)) << std::hex << kept;
  }
}

// The file systems whose open() can wait for a server that stops answering, by statfs's f_type.
TEST(ListTool, NetworkAndFuseMountsAreNamedAsOnesThatCanStall) {
  const struct {
    unsigned long type;
    const char *name;
  } cases[] = {
      {0x6969, "an NFS mount"},
      {0xFF534D42, "a CIFS mount"},
      {0xFE534D42, "an SMB mount"},
      {0x517B, "an SMB mount"},
      {0x65735546, "a FUSE mount"},
      {0x01021997, "a 9p mount"},
      {0x00C36400, "a Ceph mount"},
      {0x6B414653, "an AFS mount"},
      {0x0BD00BD0, "a Lustre mount"},
      {0xEF53, ""},
      {0x01021994, ""},
      {0x9123683E, ""},
      {0x58465342, ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tl::stallingFileSystem(c.type), c.name) << std::hex << c.type;
}
