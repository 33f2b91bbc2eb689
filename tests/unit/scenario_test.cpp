// The stand-in host's scenario language.
#include <gtest/gtest.h>

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
      {"churn 5 every=0", "churn takes one option, every=K (K from 1), got 'every=0'"},
      {"enter ada", "'enter' takes 2 words, got 1"},
      {"logon ada bob", "'logon' takes 1 word, got 2"},
      {"wait -1", "wait takes a number of time units from 0 to 2147483647, got '-1'"},
      {"wait 2147483648",
       "wait takes a number of time units from 0 to 2147483647, got '2147483648'"},
      {"user ada crc=0x100000000", "crc=0x100000000 is not a number from 0 to 4294967295"},
      {"user ada flags=65536", "flags=65536 is not a number from 0 to 65535"},
      {"user ada len=256", "len=256 is not a number from 0 to 255"},
      {"user ada ip=10.1.2", "ip=10.1.2 is not an address A.B.C.D"},
      {"user ada ip=10.1.2.256", "ip=10.1.2.256 is not an address A.B.C.D"},
      {"user ada ip=10.1.2.3.4", "ip=10.1.2.3.4 is not an address A.B.C.D"},
      {"user ada colour=3",
       "unknown option 'colour' (crc, counter, puidctr, puidcrc, ip, flags, len)"},
      {"user ada 12", "unexpected word '12' (options are key=value)"},
      {"user abcdefghijklmnopqrstuvwxyz789012",
       "user name 'abcdefghijklmnopqrstuvwxyz789012' has 32 characters; a name holds at most 31"},
      {"user a\\q", "user name 'a\\q': unknown escape '\\q'"},
      {"user a\\x4", "user name 'a\\x4': '\\x' needs two hexadecimal digits"},
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
