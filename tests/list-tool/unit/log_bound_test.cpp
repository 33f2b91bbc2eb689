// The log line's bound (content/log-line.h): text from files cut at a character, escapes counted
// as written, with the count of bytes left out; a change of many records summed up with the
// right count, never past the room it is given; and the whole line within what a datagram to
// the system log holds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "content/log-line.h"
#include "content/report.h"
#include "content/table-diff.h"

namespace {

using tl::kLogDatagramMost;
using tl::kLogTextMost;

// The longest head syslog(3)'s framing puts before a line: the priority, the time stamp and the
// tag with the largest process id Linux gives (pid_max is at most 2^22).
constexpr const char *kLongestFrame = "<85>Dec 31 23:59:59 tolvane-list[4194304]: ";
static_assert(kLogTextMost + std::char_traits<char>::length(kLongestFrame) <= kLogDatagramMost,
              "a line's text and its framing fit in one datagram");

// U+202E, which turns the text after it around, made of two pieces so that none stands whole in
// the source.
const std::string kRightToLeft = std::string("\xE2\x80") + "\xAE";

std::string repeated(const std::string &s, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += s;
  return out;
}

TEST(LogBound, QuotedTextIsCutAtACharacterWithTheBytesLeftOut) {
  const struct {
    const char *what;
    std::string text;
    size_t most;
    std::string want;
  } cases[] = {
      {"fits", "Kay, ops", 96, "\"Kay, ops\""},
      {"empty", "", 0, "\"\""},
      {"exactly fits", "abcdef", 6, "\"abcdef\""},
      {"one byte over", "abcdef", 5, "\"abcde\" (cut: 1 more bytes)"},
      {"no room at all", "abcdef", 0, "\"\" (cut: 6 more bytes)"},
      {"a two-byte character not split", "a\xC3\xA9z", 2, "\"a\" (cut: 3 more bytes)"},
      {"a two-byte character that fits", "a\xC3\xA9z", 3, "\"a\xC3\xA9\" (cut: 1 more bytes)"},
      {"a four-byte character that fits", "\xF0\x9F\x98\x80!", 4,
       "\"\xF0\x9F\x98\x80\" (cut: 1 more bytes)"},
      {"a four-byte character not split", "\xF0\x9F\x98\x80!", 3, "\"\" (cut: 5 more bytes)"},
      {"a double quote counts as its escape", "\"q\"", 4, "\"\\x22\" (cut: 2 more bytes)"},
      {"a backslash counts as its escape", "\\", 3, "\"\" (cut: 1 more bytes)"},
      {"a tab written as an escape", "\t", 4, "\"\\x09\""},
      {"a line break written as an escape", "a\nb", 96, "\"a\\x0Ab\""},
      {"bytes that are not UTF-8, four bytes each", "\xFF\xFF\xFF", 9,
       "\"\\xFF\\xFF\" (cut: 1 more bytes)"},
      {"a sequence cut short at the end", "ab\xC3", 96, "\"ab\\xC3\""},
      {"a direction character is one unit of twelve", kRightToLeft + "x", 11,
       "\"\" (cut: 4 more bytes)"},
      {"a direction character that fits", kRightToLeft + "x", 12,
       "\"\\xE2\\x80\\xAE\" (cut: 1 more bytes)"},
      {"a C1 control is never split", "\xC2\x85z", 4, "\"\" (cut: 3 more bytes)"},
      {"a C1 control that fits", "\xC2\x85z", 8, "\"\\xC2\\x85\" (cut: 1 more bytes)"},
      {"55,000 bytes that are not UTF-8", std::string(55000, '\xFF'), tl::kLogCommentMost,
       "\"" + repeated("\\xFF", 24) + "\" (cut: 54976 more bytes)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(tl::logQuoted(c.text, c.most), c.want);
  }
}

// A list of `n` records, each with its number in its address and a comment of `comment` bytes.
std::string listOf(size_t n, size_t comment) {
  std::string list;
  for (size_t k = 1; k <= n; ++k) {
    list += "{FA} {} \"10." + std::to_string(k) + ".*.*\"   # " + std::to_string(k) + " " +
            std::string(comment, 'm') + "\n";
  }
  return list;
}

// How the line holds record k of listOf(n, comment) added, written out by hand.
std::string added(size_t k, size_t comment) {
  const std::string n = std::to_string(k);
  const std::string text = n + " " + std::string(comment, 'm');
  const size_t shown = std::min(text.size(), tl::kLogCommentMost);
  const std::string cut =
      text.size() > shown ? " (cut: " + std::to_string(text.size() - shown) + " more bytes)" : "";
  return "+ line " + n + " slot " + n + " (registration seed 53, PUID seed any, 10." + n +
         ".0.0 to 10." + n + ".255.255 # \"" + text.substr(0, shown) + "\"" + cut + ")";
}

// The first k records added, as the line holds them, for each k from 0 to n.
std::vector<std::string> firstAdded(size_t n, size_t comment) {
  std::vector<std::string> out = {""};
  for (size_t k = 1; k <= n; ++k)
    out.push_back(out.back() + (k > 1 ? "; " : "") + added(k, comment));
  return out;
}

std::string sum(size_t shown, size_t more) {
  return (shown > 0 ? "; " : "") + std::string("and ") + std::to_string(more) +
         " more (change 20261211T071351Z-hCndOh in the journal)";
}

TEST(LogBound, ChangesAreWrittenOutAsTheLineHoldsThem) {
  const std::string id = "20261211T071351Z-hCndOh";
  const tl::Report none = tl::checkList("before", "");
  const tl::Report three = tl::checkList("after", listOf(3, 4));
  EXPECT_EQ(tl::loggedChanges(tl::compareTables(three, three), 100, id),
            "comments and layout only, the same table");
  EXPECT_EQ(tl::loggedChanges(tl::compareTables(none, three), 2000, id),
            "+ line 1 slot 1 (registration seed 53, PUID seed any, 10.1.0.0 to 10.1.255.255 # "
            "\"1 mmmm\"); + line 2 slot 2 (registration seed 53, PUID seed any, 10.2.0.0 to "
            "10.2.255.255 # \"2 mmmm\"); + line 3 slot 3 (registration seed 53, PUID seed any, "
            "10.3.0.0 to 10.3.255.255 # \"3 mmmm\")");
  // The last record put first, the second taken out, a fourth added: moves in the new order,
  // then what was removed.
  const tl::Report before = tl::checkList(
      "before", "{FA} {} \"10.1.*.*\"\n{GA} {} \"10.2.*.*\"   # two\n{HA} {} \"10.3.*.*\"\n");
  const tl::Report after =
      tl::checkList("after", "{HA} {} \"10.3.*.*\"\n{FA} {} \"10.1.*.*\"\n{IA} {} \"10.4.*.*\"\n");
  EXPECT_EQ(tl::loggedChanges(tl::compareTables(before, after), 2000, id),
            "~ line 1 slot 1, was line 3 slot 3 (registration seed 55, PUID seed any, 10.3.0.0 to "
            "10.3.255.255); ~ line 2 slot 2, was line 1 slot 1 (registration seed 53, PUID seed "
            "any, 10.1.0.0 to 10.1.255.255); + line 3 slot 3 (registration seed 64, PUID seed "
            "any, 10.4.0.0 to 10.4.255.255); - line 2 slot 2 (registration seed 54, PUID seed "
            "any, 10.2.0.0 to 10.2.255.255 # \"two\")");
}

TEST(LogBound, ManyChangesAreSummedUpWithTheRightCountWithinTheirRoom) {
  const std::string id = "20261211T071351Z-hCndOh";
  const tl::Report none = tl::checkList("before", "");
  const size_t counts[] = {1, 2, 28, 32};
  for (const size_t n : counts) {
    SCOPED_TRACE(std::to_string(n) + " records");
    const size_t comment = n == 2 ? 10 : 2000;
    const tl::Report after = tl::checkList("after", listOf(n, comment));
    ASSERT_EQ(after.records.size(), n);
    const std::vector<tl::TableChange> changes = tl::compareTables(none, after);
    const std::vector<std::string> first = firstAdded(n, comment);
    const std::string &all = first[n];
    const size_t room = sum(1, n).size();
    // Every room from none at all to more than the whole takes.
    for (size_t most = 0; most <= all.size() + 3; ++most) {
      SCOPED_TRACE("within " + std::to_string(most) + " bytes");
      const std::string got = tl::loggedChanges(changes, most, id);
      if (most >= all.size()) {
        EXPECT_EQ(got, all);
        continue;
      }
      // Some changes written out, whole, then the sum of the rest.
      size_t shown = 0;
      while (shown < n && got != first[shown] + sum(shown, n - shown)) ++shown;
      ASSERT_LT(shown, n) << got;
      if (most >= room) {
        EXPECT_LE(got.size(), most);
      }
      // The next change did not fit beside the room kept for the sum.
      EXPECT_GT(first[shown + 1].size() + (shown + 1 < n ? room : 0), most);
    }
  }
}

TEST(LogBound, TheLineStaysWithinItsBound) {
  const std::string head = "\"/etc/tolvane/admins.list\": edit by root for alice (sudo)";
  const size_t fits = kLogTextMost - head.size() - 2;
  const struct {
    const char *what;
    size_t size;
  } cases[] = {
      {"short", 40}, {"exactly the bound", fits}, {"a byte over", fits + 1}, {"far over", 100000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string what = "installed: " + std::string(c.size - 11, 'x');
    const std::string whole = head + ": " + what;
    const std::string line = tl::logLine(head, what);
    EXPECT_EQ(line, whole.substr(0, kLogTextMost));
    EXPECT_LE(line.size(), kLogTextMost);
  }
}

}  // namespace
