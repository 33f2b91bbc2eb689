// The end of a grant: WHEN as add --until takes it, at a fixed now, and the note's fixed form
// read back, by the tool's own UTC arithmetic (so no TZ can move it).
#include <gtest/gtest.h>

#include <string>

#include "content/grant-end.h"

namespace {

// 2026-12-11T09:00:30Z
constexpr tl::UtcSeconds kNow = 1796979630;

struct UntilCase {
  const char *when;
  const char *code;  // "" done, "usage", or the refusal's code
  const char *end;   // as written, when done
};

TEST(GrantEnd, UntilTakesZonedTimesAndSpansOnly) {
  const UntilCase cases[] = {
      {"2026-12-14T09:00Z", "", "2026-12-14T09:00Z"},
      {"2026-12-14T10:00+01:00", "", "2026-12-14T09:00Z"},
      {"2026-12-13T21:00-12:00", "", "2026-12-14T09:00Z"},
      {"2026-12-14T23:00+14:00", "", "2026-12-14T09:00Z"},
      {"2026-12-14T09:00:01Z", "", "2026-12-14T09:01Z"},  // rounded up to the minute
      {"2028-02-29T00:00Z", "", "2028-02-29T00:00Z"},
      {"2027-01-01T00:30+01:00", "", "2026-12-31T23:30Z"},
      {"+3d", "", "2026-12-14T09:01Z"},
      {"+12h", "", "2026-12-11T21:01Z"},
      {"+30m", "", "2026-12-11T09:31Z"},
      {"+1m", "", "2026-12-11T09:02Z"},
      {"2026-12-14T09:00", "until-no-zone", ""},
      {"2026-12-14T09:00:00", "until-no-zone", ""},
      {"2026-12-11T09:00Z", "until-past", ""},
      {"2026-12-11T10:00+01:00", "until-past", ""},
      {"2020-01-01T00:00Z", "until-past", ""},
      {"2026-12-14", "usage", ""},
      {"2026-12-14 09:00Z", "usage", ""},
      {"2026-12-14t09:00z", "usage", ""},
      {"2027-02-29T00:00Z", "usage", ""},
      {"2026-13-01T00:00Z", "usage", ""},
      {"2026-12-14T24:00Z", "usage", ""},
      {"2026-12-14T09:00+1", "usage", ""},
      {"2026-12-14T09:00 CET", "usage", ""},
      {"+0d", "usage", ""},
      {"+3", "usage", ""},
      {"+3w", "usage", ""},
      {"+-3d", "usage", ""},
      {"+3661d", "usage", ""},
      {"3d", "usage", ""},
      {"", "usage", ""},
  };
  for (const UntilCase &c : cases) {
    tl::UtcSeconds end = 0;
    const tl::Outcome o = tl::parseUntil(c.when, kNow, end);
    EXPECT_EQ(o.code, std::string(c.code)) << c.when << ": " << o.message;
    if (*c.code == '\0') {
      EXPECT_EQ(tl::untilText(end), c.end) << c.when;
    }
  }
}

TEST(GrantEnd, NoteNamesAnEndInTheFixedFormOnly) {
  struct NoteCase {
    const char *note;
    const char *end;  // "" for none
    const char *without;
  };
  const NoteCase cases[] = {
      {"Ada until 2026-12-14T09:00Z", "2026-12-14T09:00Z", "Ada"},
      {"until 2026-12-14T09:00Z", "2026-12-14T09:00Z", ""},
      {"Kay, ops until 2099-01-31T23:59Z", "2099-01-31T23:59Z", "Kay, ops"},
      {"Ada", "", "Ada"},
      {"Ada until 2026-12-14T09:00", "", "Ada until 2026-12-14T09:00"},
      {"Ada until 2026-12-14T09:00Z later", "", "Ada until 2026-12-14T09:00Z later"},
      {"Ada until 2026-12-14T09:00:00Z", "", "Ada until 2026-12-14T09:00:00Z"},
      {"Ada until 2026-02-30T09:00Z", "", "Ada until 2026-02-30T09:00Z"},
      {"Adauntil 2026-12-14T09:00Z", "", "Adauntil 2026-12-14T09:00Z"},
      {"Ada Until 2026-12-14T09:00Z", "", "Ada Until 2026-12-14T09:00Z"},
      {"stays until further notice", "", "stays until further notice"},
  };
  for (const NoteCase &c : cases) {
    const auto end = tl::grantEnd(c.note);
    EXPECT_EQ(end ? tl::untilText(*end) : "", std::string(c.end)) << c.note;
    EXPECT_EQ(tl::noteWithoutEnd(c.note), c.without) << c.note;
  }
  EXPECT_EQ(tl::noteWithEnd("Ada", kNow), "Ada until 2026-12-11T09:00Z");
  EXPECT_EQ(tl::noteWithEnd("", kNow), "until 2026-12-11T09:00Z");
}

TEST(GrantEnd, TimeLeftInTheLargestWholeUnit) {
  EXPECT_EQ(tl::timeLeft(kNow, kNow), "ended");
  EXPECT_EQ(tl::timeLeft(kNow + 30, kNow), "1 minute");
  EXPECT_EQ(tl::timeLeft(kNow + tl::UtcSeconds{59} * 60, kNow), "59 minutes");
  EXPECT_EQ(tl::timeLeft(kNow + 3600, kNow), "1 hour");
  EXPECT_EQ(tl::timeLeft(kNow + tl::UtcSeconds{3} * 86400 + 5, kNow), "3 days");
}

}  // namespace
