// The reload on small list files: each fixtures/lists/NAME.list against the table in NAME.table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "build-paths.h"
#include "file-bytes.h"
#include "tv-list.h"

namespace {

const std::string kLists = std::string(TOLVANE_FIXTURES) + "/lists/";

// The fixture lists: every NAME.list in fixtures/lists/ with its NAME.table.
std::vector<std::string> fixtureNames() {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(kLists)) {
    if (e.path().extension() == ".list") names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string dotted(uint32 a) {
  return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
         std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
}

// The table as text, a record a line: rSeed pSeed ipMin ipMax.
std::string table(const Tolvane *recs, uint8 n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    out += std::to_string(recs[i].rSeed) + " " + std::to_string(recs[i].pSeed) + " " +
           dotted(recs[i].ipMin) + " " + dotted(recs[i].ipMax) + "\n";
  }
  return out;
}

struct Table {
  Tolvane recs[TV_NBR_RECS];
  uint8 n = 99;
  char buf[TV_BFR_SIZE];
  char io[TV_IO_SIZE];
};

std::string reloadFile(const char *path) {
  Table t;
  tvReloadFile(path, t.buf, t.recs, &t.n, t.io);
  return table(t.recs, t.n);
}

std::string reloadString(const std::string &data) {
  Table t;
  t.n = 0;
  TvString s{data.data(), data.size(), 0};
  tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  return table(t.recs, t.n);
}

// A scratch file removed at the end of the test.
struct TempFile {
  std::string path;
  TempFile() {
    char name[] = "/tmp/tolvane-reload-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
  }
  ~TempFile() { std::remove(path.c_str()); }
  void write(const std::string &data) const { std::ofstream(path, std::ios::binary) << data; }
};

// Whether the record {FA}{}"10.1.*.*" loads from `data`, read from a string and from a file
// alike; `what` names the case.
void expectLoadedFromEither(const std::string &data, bool loads, const std::string &what) {
  const char *want = loads ? "53 0 10.1.0.0 10.1.255.255\n" : "";
  EXPECT_EQ(reloadString(data), want) << what << ", from a string";
  TempFile f;
  f.write(data);
  EXPECT_EQ(reloadFile(f.path.c_str()), want) << what << ", from a file";
}

// `fill` bytes of comment lines of 62 bytes (a piece each, so that the byte limit comes long
// before the piece limit), then one record line: the record's first byte lies at `fill`.
std::string filledThenRecord(size_t fill, const std::string &record) {
  std::string data;
  while (data.size() + 62 <= fill) data += "#" + std::string(60, '-') + "\n";
  data += std::string(fill - data.size() - 1, ' ') + "\n";
  return data + record;
}

// `lines` copies of `line` (a piece each), then one record line.
std::string linesThenRecord(size_t lines, const std::string &line, const std::string &record) {
  std::string data;
  for (size_t i = 0; i < lines; ++i) data += line;
  return data + record;
}

}  // namespace

TEST(Reload, EveryFixtureGivesItsTable) {
  const std::vector<std::string> names = fixtureNames();
  ASSERT_FALSE(names.empty());
  for (const std::string &name : names) {
    const std::string list = kLists + name + ".list";
    const std::string want = slurp(kLists + name + ".table");
    EXPECT_EQ(reloadFile(list.c_str()), want) << name << ".list read from the file";
    EXPECT_EQ(reloadString(slurp(list)), want) << name << ".list read from a string";
  }
}

TEST(Reload, TheExampleListLoadsItsThreeAdministrators) {
  EXPECT_EQ(reloadFile((std::string(TOLVANE_FIXTURES) + "/../../examples/admins.list").c_str()),
            "53 0 10.1.0.0 10.1.255.255\n"
            "2712 83 192.168.7.21 192.168.7.21\n"
            "816 0 172.16.0.0 172.16.255.255\n");
}

TEST(Reload, NoPathOrNoFileEmptiesTheTable) {
  Table t;
  tvReloadFile(nullptr, t.buf, t.recs, &t.n, t.io);
  EXPECT_EQ(t.n, 0);
  t.n = 5;
  tvReloadFile("/nonexistent/tolvane/admins.list", t.buf, t.recs, &t.n, t.io);
  EXPECT_EQ(t.n, 0);
}

TEST(Reload, AFileThatDisappearsBetweenTwoReloadsLeavesAnEmptyTable) {
  TempFile f;
  f.write("{FA}{}\"10.1.*.*\"\n");
  Table t;
  tvReloadFile(f.path.c_str(), t.buf, t.recs, &t.n, t.io);
  EXPECT_EQ(table(t.recs, t.n), "53 0 10.1.0.0 10.1.255.255\n");
  std::remove(f.path.c_str());
  tvReloadFile(f.path.c_str(), t.buf, t.recs, &t.n, t.io);
  EXPECT_EQ(t.n, 0);
  f.write("{B}{}\"1\"\n");
  tvReloadFile(f.path.c_str(), t.buf, t.recs, &t.n, t.io);
  EXPECT_EQ(table(t.recs, t.n), "5 0 1.0.0.0 1.0.0.0\n");
}

TEST(Reload, StopsReadingOnceTheTableIsFull) {
  // 32 records, then a line that is never read: the reader is not asked again.
  std::string data;
  for (int i = 0; i < 40; ++i) data += "{A}{}\"1\"\n";
  TvString s{data.data(), data.size(), 0};
  Table t;
  t.n = 0;
  tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  EXPECT_EQ(t.n, 32);
  EXPECT_EQ(s.pos, 32u * 9u);
}

TEST(Reload, ReadsPiecesOfAtMost62Characters) {
  const std::string line(70, 'x');
  TvString s{line.data(), line.size(), 0};
  char buf[TV_BFR_SIZE];
  ASSERT_NE(tvReadString(buf, TV_READ_SIZE, &s), nullptr);
  EXPECT_EQ(std::string(buf), std::string(62, 'x'));
  ASSERT_NE(tvReadString(buf, TV_READ_SIZE, &s), nullptr);
  EXPECT_EQ(std::string(buf), std::string(8, 'x'));
  EXPECT_EQ(tvReadString(buf, TV_READ_SIZE, &s), nullptr);
}

TEST(ReloadLimit, ReadingStopsAtTheByteLimit) {
  const std::string rec = "{FA}{}\"10.1.*.*\"\n";  // 17 bytes
  // A table of (bytes before the record, whether the record loads).
  const struct {
    size_t before;
    bool loads;
  } cases[] = {
      {TV_READ_LIMIT - 17, true},   // its newline is the limit's last byte
      {TV_READ_LIMIT - 16, true},   // the newline lies past the limit; the quote does not
      {TV_READ_LIMIT - 15, false},  // the closing quote lies past the limit
      {TV_READ_LIMIT, false},      {size_t{2} * TV_READ_LIMIT, false},
  };
  for (const auto &c : cases) {
    const std::string data = filledThenRecord(c.before, rec);
    ASSERT_EQ(data.size(), c.before + rec.size());
    expectLoadedFromEither(data, c.loads, "record after " + std::to_string(c.before) + " bytes");
  }
}

TEST(ReloadLimit, ReadingStopsAfterTheLastPieceItMayRead) {
  const std::string rec = "{FA}{}\"10.1.*.*\"\n";
  // A table of (lines before the record, each line, whether the record loads): the record is
  // the piece after them.
  const struct {
    size_t lines;
    const char *line;
    bool loads;
  } cases[] = {
      {TV_READ_PIECES - 1, "\n", true},     // the record is the last piece read
      {TV_READ_PIECES, "\n", false},        // the record would be one piece too many
      {TV_READ_PIECES - 1, "\r\n", true},   // a CR LF line is one piece as well
      {TV_READ_PIECES, "\r\n", false},      //
      {TV_READ_PIECES - 1, "# x\n", true},  // and so is a short comment
      {TV_READ_PIECES, "# x\n", false},     //
      {size_t{4} * TV_READ_PIECES, "\n", false},
  };
  for (const auto &c : cases) {
    const std::string data = linesThenRecord(c.lines, c.line, rec);
    ASSERT_LT(data.size(), TV_READ_LIMIT) << "the bytes stay within their limit";
    expectLoadedFromEither(data, c.loads, "record after " + std::to_string(c.lines) + " lines");
  }
}

TEST(ReloadLimit, ReadListSaysHowMuchItRead) {
  // Past the byte limit: 1,057 lines of 62 bytes, then the 2 bytes left of the next line.
  const std::string data = filledThenRecord(size_t{2} * TV_READ_LIMIT, "{A}{}\"1\"\n");
  TvString s{data.data(), data.size(), 0};
  Table t;
  t.n = 0;
  TvRead done = tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  EXPECT_EQ(done.bytes, TV_READ_LIMIT);
  EXPECT_EQ(done.pieces, 1058u);
  EXPECT_EQ(s.pos, TV_READ_LIMIT);
  // Past the piece limit: empty lines.
  const std::string empty(TV_READ_LIMIT, '\n');
  s = TvString{empty.data(), empty.size(), 0};
  done = tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  EXPECT_EQ(done.bytes, TV_READ_PIECES);
  EXPECT_EQ(done.pieces, TV_READ_PIECES);
  EXPECT_EQ(s.pos, TV_READ_PIECES);
  // A short list: read to its end.
  const std::string list = "# Ada\n{FA}{}\"10.1.*.*\"\n";
  s = TvString{list.data(), list.size(), 0};
  t.n = 0;
  done = tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  EXPECT_EQ(done.bytes, list.size());
  EXPECT_EQ(done.pieces, 2u);
  EXPECT_EQ(t.n, 1);
}

TEST(ReloadLimit, APieceHidingItsLengthBehindANulCountsAsAWholeRead) {
  // A read stops after a newline or a full buffer; anything shorter holds a NUL or ends the
  // source, so the bytes it took are not known and the whole read is counted.
  const struct {
    const char *piece;
    int size;
    uint32 bytes;
  } cases[] = {
      {"{A}{}\"1\"\n", TV_READ_SIZE, 9},
      {"", TV_READ_SIZE, 62},
      {"ab", TV_READ_SIZE, 62},
      {"ab", 3, 2},
      {"\n", 5, 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tvPieceBytes(c.piece, c.size), c.bytes) << '"' << c.piece << "\" size " << c.size;
}

TEST(ReloadLimit, TheNextReadStaysWithinBothLimits) {
  const struct {
    TvRead done;
    int size;
  } cases[] = {
      {{0, 0}, TV_READ_SIZE},
      {{TV_READ_LIMIT - 62, 0}, TV_READ_SIZE},
      {{TV_READ_LIMIT - 61, 0}, 62},
      {{TV_READ_LIMIT - 1, 0}, 2},
      {{TV_READ_LIMIT, 0}, 0},
      {{0, TV_READ_PIECES - 1}, TV_READ_SIZE},
      {{TV_READ_LIMIT - 1, TV_READ_PIECES - 1}, 2},
      {{0, TV_READ_PIECES}, 0},
      {{TV_READ_LIMIT, TV_READ_PIECES}, 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(tvNextReadSize(c.done), c.size) << c.done.bytes << " bytes, " << c.done.pieces;
  TvRead done{10, 3};
  tvCountPiece(&done, "{A}{}\"1\"\n", TV_READ_SIZE);
  EXPECT_EQ(done.bytes, 19u);
  EXPECT_EQ(done.pieces, 4u);
  tvCountPiece(&done, "", TV_READ_SIZE);  // a NUL hides the length: a whole read
  EXPECT_EQ(done.bytes, 81u);
  EXPECT_EQ(done.pieces, 5u);
}

// Files of nothing but what the parser passes over end the reload at one of its limits: a
// sparse file (every piece empty to the parser, each counting as a whole read) at the byte
// limit, a mebibyte of newlines at the piece limit.
TEST(ReloadLimit, AFileOfNothingEndsAtALimit) {
  const struct {
    const char *what;
    void (*make)(TempFile &);
    bool byBytes;  // which limit ends it
    long offset;   // where reading stops
  } cases[] = {
      {"NUL bytes", [](TempFile &f) { ASSERT_EQ(truncate(f.path.c_str(), 64L << 20), 0); }, true,
       static_cast<long>(TV_READ_LIMIT)},
      {"newlines", [](TempFile &f) { f.write(std::string(size_t{1} << 20, '\n')); }, false,
       static_cast<long>(TV_READ_PIECES)},
  };
  for (const auto &c : cases) {
    TempFile f;
    c.make(f);
    FILE *in = std::fopen(f.path.c_str(), "r");
    ASSERT_NE(in, nullptr) << c.what;
    Table t;
    t.n = 0;
    const auto read = [](char *buf, int size, void *src) {
      return std::fgets(buf, size, static_cast<FILE *>(src));
    };
    const auto done = tvReadList(read, in, t.buf, t.recs, &t.n, nullptr, nullptr);
    if (c.byBytes) {
      EXPECT_EQ(done.bytes, TV_READ_LIMIT) << c.what;
    } else {
      EXPECT_EQ(done.pieces, TV_READ_PIECES) << c.what;
    }
    EXPECT_EQ(std::ftell(in), c.offset) << c.what;
    std::fclose(in);
    EXPECT_EQ(t.n, 0) << c.what;
  }
}

TEST(ReloadLimit, AGenerousListIsReadWhole) {
  // 32 records with comments on every line and between them, CR LF: the whole table loads (the
  // fixture's table says which), and reading it takes less than a quarter of either limit.
  const std::string data = slurp(kLists + "generous.list");
  TvString s{data.data(), data.size(), 0};
  Table t;
  t.n = 0;
  const TvRead done = tvReadList(tvReadString, &s, t.buf, t.recs, &t.n, nullptr, nullptr);
  EXPECT_EQ(table(t.recs, t.n), slurp(kLists + "generous.table"));
  EXPECT_EQ(t.n, TV_NBR_RECS);
  EXPECT_LT(done.bytes * 4, TV_READ_LIMIT);
  EXPECT_LT(done.pieces * 4, TV_READ_PIECES);
}

TEST(ReloadPaths, OnlyARegularFileIsRead) {
  // Each kind of path that is not a list gives an empty table at once, and the same path
  // holding a list again gives its record.
  char dir[] = "/tmp/tolvane-paths-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/admins.list";
  const std::string good = "{FA}{}\"10.1.*.*\"\n";
  Table t;
  const auto reload = [&] {
    t.n = 7;
    tvReloadFile(path.c_str(), t.buf, t.recs, &t.n, t.io);
    return table(t.recs, t.n);
  };
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(reload(), "") << "a FIFO with no writer";
  const int writer = open(path.c_str(), O_RDWR);  // a writer that never writes
  ASSERT_GE(writer, 0);
  EXPECT_EQ(reload(), "") << "a FIFO whose writer is silent";
  ASSERT_EQ(::write(writer, good.data(), good.size()), static_cast<ssize_t>(good.size()));
  EXPECT_EQ(reload(), "") << "a FIFO holding a list";
  close(writer);
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(reload(), "") << "a folder";
  ASSERT_EQ(rmdir(path.c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
  EXPECT_EQ(reload(), "") << "/dev/zero";
  ASSERT_EQ(unlink(path.c_str()), 0);
  std::ofstream(path, std::ios::binary) << good;
  EXPECT_EQ(reload(), "53 0 10.1.0.0 10.1.255.255\n") << "the list again";
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(rmdir(dir), 0);
}

TEST(ReloadPaths, TheDescriptorIsClosedAndNotInherited) {
  // After a reload no descriptor is left open: the next descriptor the process gets is the
  // same one it got before.
  TempFile f;
  f.write("{FA}{}\"10.1.*.*\"\n");
  const int before = dup(0);
  close(before);
  Table t;
  tvReloadFile(f.path.c_str(), t.buf, t.recs, &t.n, t.io);
  const int after = dup(0);
  close(after);
  EXPECT_EQ(before, after);
}
