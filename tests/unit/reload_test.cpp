// The reload on small list files: each fixtures/lists/NAME.list against the table in NAME.table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tv-list.h"

namespace {

const std::string kLists = std::string(TOLVANE_FIXTURES) + "/lists/";
const char *const kNames[] = {
    "empty",        "comments",         "crlf",         "bom",  "long-line",
    "split-record", "no-final-newline", "thirty-three", "wrap", "bad-lines",
    "nul-byte"};

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
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

}  // namespace

TEST(Reload, EveryFixtureGivesItsTable) {
  for (const char *name : kNames) {
    const std::string list = kLists + name + ".list";
    const std::string want = slurp(kLists + name + ".table");
    EXPECT_EQ(reloadFile(list.c_str()), want) << name << ".list read from the file";
    EXPECT_EQ(reloadString(slurp(list)), want) << name << ".list read from a string";
  }
}

TEST(Reload, TheExampleListLoadsItsThreeAdministrators) {
  EXPECT_EQ(reloadFile(TOLVANE_FIXTURES "/../../examples/admins.list"),
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
