// How the host shows the plug-in's Latin-1 text.
#include <gtest/gtest.h>

#include "text.h"

namespace {

// A C variadic on purpose: it stands in for the host services, which are C variadics.
std::string formatted(const char *fmt, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list ap;
  va_start(ap, fmt);
  std::string s = host::format(fmt, ap);
  va_end(ap);
  return s;
}

}  // namespace

TEST(Text, Latin1BecomesUtf8AndControlBytesAreEscaped) {
  EXPECT_EQ(host::shown("Tolvane\xA9"), "Tolvane\xC2\xA9");
  EXPECT_EQ(host::shown("caf\xE9\xFF\xA0"), "caf\xC3\xA9\xC3\xBF\xC2\xA0");
  EXPECT_EQ(host::shown("a\nb\r\x01\x1B[2J\x7F\\"), "a\\x0Ab\\x0D\\x01\\x1B[2J\\x7F\\\\");
  // Latin-1's C1 controls: as UTF-8 (U+0080 to U+009F) a terminal may obey them.
  EXPECT_EQ(host::shown("\x80\x9B"
                        "2J\x9F"),
            "\\x80\\x9B"
            "2J\\x9F");
}

TEST(Text, ScenarioTextIsShownAsWrittenButForControlCharacters) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"user ada crc=0x3E71D5A4", "user ada crc=0x3E71D5A4"},
      // The scenario's own escapes stay as written: only what a terminal would obey changes.
      {"user 100%s\\xe9", "user 100%s\\xe9"},
      {"note \x1B[31mred", "note \\x1B[31mred"},
      {"a\tb\rc\x7F\x01", "a\\x09b\\x0Dc\\x7F\\x01"},
      // UTF-8 as written; its C1 controls, and bytes that are not UTF-8, byte by byte.
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x99\x82", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x99\x82"},
      {"\xC2\x9B"
       "2J",
       "\\xC2\\x9B"
       "2J"},
      {"caf\xE9!", "caf\\xE9!"},
      {"\xC3", "\\xC3"},                             // cut short
      {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // past U+10FFFF
  };
  for (const auto &c : cases) EXPECT_EQ(host::written(c.text), c.shown) << c.text;
}

TEST(Text, ShownCStopsAtTheLimit) {
  EXPECT_EQ(host::shownC("abcdef", 3), "abc");
  EXPECT_EQ(host::shownC(nullptr, 3), "(null)");
}

TEST(Text, FormatsAsPrintfAndCutsLongMessages) {
  const char name[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  EXPECT_EQ(formatted("Welcome Host Admin %0.31s!", name),
            "Welcome Host Admin abcdefghijklmnopqrstuvwxyz01234!");
  EXPECT_EQ(formatted("v2.0 (Limit: %d)", 32), "v2.0 (Limit: 32)");
  EXPECT_EQ(formatted("%s", std::string(400, 'x').c_str()).size(), host::kMessageMax);
}

TEST(Text, QuotedShowsAWordEscapedAndAtMostItsFirst80Bytes) {
  const struct {
    std::string word;
    std::string shown;
  } cases[] = {
      {"ada", "'ada'"},
      {"", "''"},
      {"a\\b\x01\xE9", "'a\\\\b\\x01\xC3\xA9'"},
      {std::string(80, 'x'), "'" + std::string(80, 'x') + "'"},
      {std::string(81, 'x'), "'" + std::string(80, 'x') + "'... (81 bytes)"},
      {std::string(79, 'x') + "\n\n", "'" + std::string(79, 'x') + "\\x0A'... (81 bytes)"},
  };
  for (const auto &c : cases) EXPECT_EQ(host::quoted(c.word), c.shown) << c.word;
}
