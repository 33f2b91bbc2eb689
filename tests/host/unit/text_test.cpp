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
  EXPECT_EQ(host::shown("caf\xE9\xFF"), "caf\xC3\xA9\xC3\xBF");
  EXPECT_EQ(host::shown("a\nb\r\x01\x7F\\"), "a\\x0ab\\x0d\\x01\\x7f\\\\");
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
      {std::string(79, 'x') + "\n\n", "'" + std::string(79, 'x') + "\\x0a'... (81 bytes)"},
  };
  for (const auto &c : cases) EXPECT_EQ(host::quoted(c.word), c.shown) << c.word;
}
