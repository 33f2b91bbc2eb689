// A line means what it says: every finding where the plug-in reads a line otherwise than its
// text plainly says (a record lost, or loaded other than written) is an error, and an edit that
// brings one in is refused without a terminal, the edit kept and named; a line that says what
// it means but is risky or untidy is a warning, and installs; a list with no record is a note.
// One table, a line (or a whole new list) for each finding code: check's class for it, and what
// edit makes of it. The edits run at a private /dev/log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "build-paths.h"
#include "edit-harness.h"
#include "launch.h"
#include "private-log.h"

namespace {

using namespace harness;  // the tests' own folder, its list (kGood) and editors

struct Case {
  const char *code;     // the finding
  std::string content;  // the new list the operator's editor writes
  const char *severity;
  const char *refusal;  // the code edit refuses it with without a terminal; "" installed
};

// The list with `line` added, as most edits bring a finding in.
std::string with(const std::string &line) {
  return kGood + line + "\n";
}

// 32 records, and a 33rd the plug-in never reads.
std::string thirtyThree() {
  std::string list = kGood;
  for (int i = 2; i <= 33; ++i) list += "{GA} {} \"10.2.3." + std::to_string(i) + "\"\n";
  return list;
}

// More lines than the plug-in reads, and a record after them that it never reads.
std::string tooManyLines() {
  std::string list = kGood;
  for (int i = 0; i < 4100; ++i) list += "#\n";
  return list + "{GA} {} \"10.2.3.4\"\n";
}

const std::string kLong(60, ' ');

const Case kCases[] = {
    // A record loaded other than written.
    {"octet-wraps", with("{GA} {} \"192.168.7.300\""), "error", "new-errors"},
    {"short-pattern", with("{GA} {} \"192.168.*\""), "error", "new-errors"},
    {"short-pattern", with("{GA} {} \"*\""), "error", "new-errors"},
    {"empty-octet", with("{GA} {} \"10.1..5\""), "error", "new-errors"},
    {"octet-text", with("{GA} {} \"10.1A.2.3\""), "error", "new-errors"},
    {"star-then-number", with("{GA} {} \"10.*.5.*\""), "error", "new-errors"},
    {"seed-wraps", with("{IIIIIIIII} {} \"10.2.3.4\""), "error", "new-errors"},
    {"zero-pseed", with("{GA} {E} \"10.2.3.4\""), "error", "new-errors"},
    {"jkl-digit", with("{GA} {ZJA} \"10.2.3.4\""), "error", "new-errors"},
    {"empty-rseed", with("{} {} \"10.2.3.4\""), "error", "new-errors"},
    {"skipped-letters", with("GA {FB} {} \"10.2.3.4\""), "error", "new-errors"},
    {"skipped-text", with("12 {GA} {} \"10.2.3.4\""), "error", "new-errors"},
    {"skipped-text", with("{GA} BC {} \"10.2.3.4\""), "error", "new-errors"},
    {"skipped-text", with("{GA} {} ABC \"10.2.3.4\""), "error", "new-errors"},
    {"extra-group", with("{GA} {} {BC} \"10.2.3.4\""), "error", "new-errors"},
    {"trailing-text", with("{GA} {} \"10.2.3.4\" Kay"), "error", "new-errors"},
    {"split", with("{GA} {} \"10.2.3.4\"" + kLong + "Kay"), "error", "new-errors"},
    {"spill-record", with("#" + kLong + "x{GA} {} \"10.2.3.4\""), "error", "new-errors"},
    {"lone-cr", with("{GA} {} \"10.2.3.4\"\r{GB} {} \"10.2.3.5\""), "error", "new-errors"},
    {"cr-line-ends", "{FA} {} \"10.1.*.*\"\r{GA} {} \"10.2.3.4\"\r", "error", "new-errors"},
    {"table-full", thirtyThree(), "error", "past-32nd"},
    {"too-long", tooManyLines(), "error", "new-errors"},
    // A line that gives no record at all.
    {"hash", with("{GA} {} \"10.2.3.4 # Kay\""), "error", "new-errors"},
    {"incomplete", with("{GA} {}"), "error", "new-errors"},
    {"cut", with("{GA}" + kLong + "{} \"10.2.3.4\""), "error", "new-errors"},
    {"nul-byte", with(std::string("{GA} {} \"10.2\0.3.4\"", 19)), "error", "new-errors"},
    {"invalid", with("{GA} + {} \"10.2.3.4\""), "error", "new-errors"},
    {"bom", "\xEF\xBB\xBF" + kGood, "error", "new-errors"},
    {"typographic-quote",
     with("{GA} {} \xE2\x80\x9C"
          "10.2.3.4\xE2\x80\x9D"),
     "error", "new-errors"},
    {"range", with("{GA} {} \"10.2.3.4-9\""), "error", "new-errors"},
    {"cidr", with("{GA} {} \"10.2.0.0/16\""), "error", "new-errors"},
    {"not-address", with("{GA} {} \"host.example\""), "error", "new-errors"},
    {"lower-case", with("{ga} {} \"10.2.3.4\""), "error", "new-errors"},
    {"unclosed-group", with("{GA\" {} \"10.2.3.4\""), "error", "new-errors"},
    {"not-letter", with("{G1} {} \"10.2.3.4\""), "error", "new-errors"},
    {"tenth-letter", with("{AAAAAAAAAA} {} \"10.2.3.4\""), "error", "new-errors"},
    {"z-place", with("{ZA} {} \"10.2.3.4\""), "error", "new-errors"},
    {"z-letter", with("{GA} {Z} \"10.2.3.4\""), "error", "new-errors"},
    {"fifth-octet", with("{GA} {} \"10.2.3.4.5\""), "error", "new-errors"},
    {"star", with("{GA} {} \"10.2.*5.4\""), "error", "new-errors"},
    {"missing-braces", with("GA {} \"10.2.3.4\""), "error", "new-errors"},
    {"unquoted-address", with("{GA} {} 10.2.3.4"), "error", "new-errors"},
    {"open-quote", with("{GA} {} 10.2.3.4\""), "error", "new-errors"},
    // A line that says what it means, but risky or untidy: installed, with its warning.
    {"any-address", with("{GA} {} \"*.*.*.*\""), "warning", ""},
    {"duplicate", with("{FA} {} \"10.1.*.*\""), "warning", ""},
    {"shadowed", with("{FA} {} \"10.1.2.*\""), "warning", ""},
    {"mixed-line-ends", with("{GA} {} \"10.2.3.4\"\r"), "warning", ""},
    // A list with no record: a note; an edit that empties the list asks first, and without a
    // terminal it is refused.
    {"no-records", "# nobody yet\n", "note", "no-records"},
};

// The finding of this code that check --json reports for `content`, or null.
nlohmann::json findingOf(const Folder &f, const std::string &content, const std::string &code) {
  spill(f.dir + "/other", content);
  const Outcome r =
      shell(launched(TOLVANE_LIST) + " check --json --content-only '" + f.dir + "/other'");
  const nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
  if (!doc.is_object()) return nullptr;
  for (const nlohmann::json &found : doc["files"][0]["findings"]) {
    if (found["code"] == code) return found;
  }
  return nullptr;
}

}  // namespace

TEST(Meaning, ALineReadOtherwiseThanWrittenIsAnErrorThatAnEditCannotBringIn) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  for (const Case &c : kCases) {
    Folder f;
    const nlohmann::json found = findingOf(f, c.content, c.code);
    ASSERT_TRUE(found.is_object()) << c.code << ": check does not report it";
    EXPECT_EQ(found["severity"], c.severity) << c.code << ": " << found["message"];
    // The operator's editor writes the new list; without a terminal an error is refused.
    const std::string editor = f.editor("put.sh", "cat '" + f.dir + "/other' >\"$1\"");
    const Logged r =
        logged("EDITOR='" + editor + "' " + launched(TOLVANE_LIST) + " edit " + f.list);
    const std::vector<std::string> kept = f.strays();
    if (std::string(c.refusal).empty()) {
      EXPECT_EQ(r.status, 0) << c.code << "\n" << r.output;
      EXPECT_EQ(slurp(f.list), c.content) << c.code;
      EXPECT_TRUE(kept.empty()) << c.code;
      continue;
    }
    EXPECT_EQ(r.status, 1) << c.code << "\n" << r.output;
    EXPECT_EQ(slurp(f.list), kGood) << c.code << ": the list is as it was";
    ASSERT_EQ(kept.size(), 1u) << c.code << ": the edit is kept\n" << r.output;
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), c.content) << c.code;
    const std::string copy = f.dir + "/" + kept[0];
    EXPECT_NE(r.output.find(copy + ":"), std::string::npos)
        << c.code << ": the findings are named under the copy's name\n"
        << r.output;
    EXPECT_NE(r.output.find("[" + std::string(c.refusal) + "]\n" + f.list + ": your edit is in " +
                            copy + "\n"),
              std::string::npos)
        << c.code << "\n"
        << r.output;
    ASSERT_EQ(r.log.size(), 1u) << c.code;
    EXPECT_NE(r.log[0].find(": edit by root: refused: "), std::string::npos) << r.log[0];
  }
}
