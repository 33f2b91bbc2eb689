// The stand-in host's scenario language.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "numbers.h"
#include "scenario.h"

using host::Command;
using host::Op;

TEST(Scenario, ReadsAUserWithEveryOption) {
  Command c;
  std::string err;
  ASSERT_TRUE(
      host::parseCommand("user ada crc=0x3E71D5A4 counter=53 puidctr=7 puidcrc=0xFFFFFFFF "
                         "ip=10.1.255.0 flags=2 len=40 # x",
                         c, err))
      << err;
  EXPECT_EQ(c.op, Op::User);
  EXPECT_EQ(c.args, std::vector<std::string>{"ada"});
  EXPECT_EQ(c.user.nameBytes, "ada");
  EXPECT_EQ(c.user.crc, 0x3E71D5A4u);
  EXPECT_EQ(c.user.counter, 53u);
  EXPECT_EQ(c.user.puidCtr, 7u);
  EXPECT_EQ(c.user.puidCRC, 0xFFFFFFFFu);
  EXPECT_EQ(c.user.ip, 0x0A01FF00u);
  EXPECT_EQ(c.user.flags, 2);
  EXPECT_EQ(c.user.lenByte, 40);
}

TEST(Scenario, BlankAndCommentLinesAreNothing) {
  Command c;
  std::string err;
  for (const char *line : {"", "   ", "\t", "# comment", "  # user x"}) {
    ASSERT_TRUE(host::parseCommand(line, c, err)) << line;
    EXPECT_EQ(c.op, Op::None) << line;
  }
}

TEST(Scenario, BadLinesSayWhatIsWrong) {
  const struct {
    const char *line;
    const char *err;
  } cases[] = {
      {"fly ada",
       "unknown command 'fly' (user, logon, enter, delete, wait, show, write, remove, rename, "
       "note, churn)"},
      {"churn x", "churn takes a number of users from 0 to 100000000, got 'x'"},
      {"churn 5 every=0", "churn's every=K takes a number of users from 1, got 'every=0'"},
      {"enter ada", "'enter' takes 2 words, got 1"},
      {"logon ada bob", "'logon' takes 1 word, got 2"},
      {"wait -1", "wait takes a number of time units from 0 to 2147483647, got '-1'"},
      {"wait 2147483648",
       "wait takes a number of time units from 0 to 2147483647, got '2147483648'"},
      {"user ada crc=0x100000000", "'crc=0x100000000' is not a number from 0 to 4294967295"},
      {"user ada flags=65536", "'flags=65536' is not a number from 0 to 65535"},
      {"user ada len=256", "'len=256' is not a number from 0 to 255"},
      {"user ada ip=10.1.2", "'ip=10.1.2' is not an address A.B.C.D"},
      {"user ada ip=10.1.2.256", "'ip=10.1.2.256' is not an address A.B.C.D"},
      {"user ada ip=10.1.2.3.4", "'ip=10.1.2.3.4' is not an address A.B.C.D"},
      {"user ada colour=3",
       "unknown option 'colour' (crc, counter, puidctr, puidcrc, ip, flags, len)"},
      {"user ada 12", "unexpected word '12' (options are key=value)"},
      {"user abcdefghijklmnopqrstuvwxyz789012",
       "user name 'abcdefghijklmnopqrstuvwxyz789012' has 32 characters; a name holds at most 31"},
      // A bad word is shown escaped, as names are in the transcript, and at most its first 80
      // bytes.
      {"user a\\q", "user name 'a\\\\q': unknown escape '\\q'"},
      {"user a\\x4", "user name 'a\\\\x4': '\\x' needs two hexadecimal digits"},
      {"user a\\\x01", "user name 'a\\\\\\x01': unknown escape '\\\\x01'"},
      {"fl\x01y\xe9",
       "unknown command 'fl\\x01y\xc3\xa9' (user, logon, enter, delete, wait, show, "
       "write, remove, rename, note, churn)"},
      {"wait 12345678901234567890123456789012345678901234567890123456789012345678901234567890X",
       "wait takes a number of time units from 0 to 2147483647, got "
       "'12345678901234567890123456789012345678901234567890123456789012345678901234567890'... "
       "(81 bytes)"},
  };
  for (const auto &c : cases) {
    Command cmd;
    std::string err;
    EXPECT_FALSE(host::parseCommand(c.line, cmd, err)) << c.line;
    EXPECT_EQ(err, c.err) << c.line;
  }
}

TEST(Scenario, NamesTakeEscapesAndHoldUpTo31Characters) {
  Command c;
  std::string err;
  ASSERT_TRUE(host::parseCommand("user caf\\xe9\\\\", c, err)) << err;
  EXPECT_EQ(c.user.nameBytes, "caf\xe9\\");
  ASSERT_TRUE(host::parseCommand("user abcdefghijklmnopqrstuvwxyz78901", c, err)) << err;
  EXPECT_EQ(c.user.nameBytes.size(), 31u);
}

TEST(Scenario, NumbersAreDecimalOrHex) {
  uint64_t n = 0;
  EXPECT_TRUE(tvc::parseNumber("0x1F", 100, n));
  EXPECT_EQ(n, 31u);
  EXPECT_TRUE(tvc::parseNumber("100", 100, n));
  EXPECT_FALSE(tvc::parseNumber("101", 100, n));
  EXPECT_FALSE(tvc::parseNumber("0x", 100, n));
  EXPECT_FALSE(tvc::parseNumber("", 100, n));
  EXPECT_FALSE(tvc::parseNumber("1e3", 10000, n));
  EXPECT_FALSE(tvc::parseNumber("99999999999999999999999", UINT64_MAX, n));
}

TEST(Scenario, WriteBlockLinesDecodeEscapes) {
  std::string out, err;
  ASSERT_TRUE(host::decodeBlockLine("{A}{}\"1\"\\r", out, err));
  EXPECT_EQ(out, "{A}{}\"1\"\r\n");
  ASSERT_TRUE(host::decodeBlockLine("\\xef\\xbb\\xbf# x", out, err));
  EXPECT_EQ(out, "\xef\xbb\xbf# x\n");
  ASSERT_TRUE(host::decodeBlockLine("last line\\c", out, err));
  EXPECT_EQ(out, "last line");
  ASSERT_TRUE(host::decodeBlockLine("a\\\\c", out, err));  // an escaped backslash, then 'c'
  EXPECT_EQ(out, "a\\c\n");
  EXPECT_FALSE(host::decodeBlockLine("bad \\y", out, err));
  EXPECT_EQ(err, "unknown escape '\\y'");
}

namespace {

// Every command the reader gives for a scenario, with its error, as one line each:
// "LINE op: args | content" or "LINE! error".
std::string readAll(const std::string &text) {
  host::ScenarioReader reader(text);
  Command cmd;
  std::string err, out;
  int at = 0;
  while (reader.next(cmd, err, at)) {
    if (!err.empty()) {
      out += std::to_string(at) + "! " + err + " (after " + std::to_string(cmd.block.size()) +
             " block lines)\n";
      continue;
    }
    out += std::to_string(cmd.line) + " " + cmd.echo;
    if (cmd.op == host::Op::Write) out += " | " + cmd.content;
    if (cmd.op == host::Op::Note) out += " | " + cmd.args[0];
    out += "\n";
  }
  return out;
}

}  // namespace

TEST(ScenarioReader, GivesWholeCommandsAWriteWithItsBlock) {
  const struct {
    const char *text;
    const char *commands;
  } cases[] = {
      {"wait 0\n# a comment\n\nshow ada  # why\n", "1 wait 0\n4 show ada\n"},
      {"write $1\nab\n\\x41\\c\nend\nwait 1\n", "1 write $1 | ab\nA\n5 wait 1\n"},
      // A literal backslash before the final \c: the line ends in '\' with no newline.
      {"write f\nends in a backslash\\\\\\c\nend\n", "1 write f | ends in a backslash\\\n"},
      {"write f\nnot the end \\\\c\nend\n", "1 write f | not the end \\c\n\n"},
      // A bad line in a block: reported where it is, the block read on to its end.
      {"write f\nok\nbad \\q\nmore\nend\nwait 2\n",
       "3! unknown escape '\\q' (after 1 block lines)\n6 wait 2\n"},
      {"write f\nno end\n", "1! 'write' block has no closing 'end' line (after 1 block lines)\n"},
      {"note a # b\nnote   c  \n", "1 note a | a\n2 note   c | c\n"},
      {"bogus\nwait 3\n",
       "1! unknown command 'bogus' (user, logon, enter, delete, wait, show, write, remove, "
       "rename, note, churn) (after 0 block lines)\n2 wait 3\n"},
      {"wait 1", "1 wait 1\n"},  // the last line needs no newline
  };
  for (const auto &c : cases) EXPECT_EQ(readAll(c.text), c.commands) << c.text;
}

TEST(ScenarioReader, ALineLongerThanTheLimitIsBadInputAndSkipped) {
  const std::string longest = "note " + std::string(host::kLineMax - 5, 'x');
  const std::string tooLong = "user " + std::string(host::kLineMax - 4, 'y');
  const std::string said =
      "the line is longer than the 65536 bytes a scenario line may hold; it begins 'user " +
      std::string(75, 'y') + "'...";
  EXPECT_EQ(readAll(longest + "\nwait 1\n"),
            "1 " + longest + " | " + longest.substr(5) + "\n2 wait 1\n");
  EXPECT_EQ(readAll(tooLong + "\nwait 1\n"), "1! " + said + " (after 0 block lines)\n2 wait 1\n");
  EXPECT_EQ(readAll(tooLong), "1! " + said + " (after 0 block lines)\n");
  // In a write block: reported where it is, the block read on to its end.
  EXPECT_EQ(readAll("write f\nok\n" + tooLong + "\nend\nwait 2\n"),
            "3! " + said + " (after 1 block lines)\n5 wait 2\n");
}

TEST(ScenarioReader, AReadErrorIsBadInputAndEndsTheScenario) {
  // A folder opens, but cannot be read.
  char dir[] = "/tmp/tolvane-scenario-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const int fd = open(dir, O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  host::ScenarioReader reader(fd);
  Command cmd;
  std::string err;
  int at = 0;
  ASSERT_TRUE(reader.next(cmd, err, at));
  EXPECT_EQ(err, "cannot read the scenario: Is a directory");
  EXPECT_EQ(at, 1);
  EXPECT_FALSE(reader.next(cmd, err, at));
  close(fd);
  rmdir(dir);
}

TEST(ScenarioReader, ChurnTakesTheFieldsOfItsUsers) {
  Command c;
  std::string err;
  ASSERT_TRUE(host::parseCommand("churn 5 every=2 crc=7 counter=0x10 ip=10.1.2.3 flags=4", c, err))
      << err;
  EXPECT_EQ(c.amount, 5u);
  EXPECT_EQ(c.every, 2u);
  EXPECT_EQ(c.user.crc, 7u);
  EXPECT_EQ(c.user.counter, 16u);
  EXPECT_EQ(c.user.ip, 0x0A010203u);
  EXPECT_EQ(c.user.flags, 4u);
  EXPECT_FALSE(host::parseCommand("churn 5 len=3", c, err));
  EXPECT_EQ(err, "churn gives each user its own name: len= does not apply");
}
