// The table of commands: the parser reads it, and help shows it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "commands.h"
#include "help.h"
#include "scenario.h"

namespace {

// A line that `syntax` describes, with a value for each placeholder and no optional part.
std::string sampleLine(const std::string &syntax) {
  std::istringstream in(syntax);
  std::string line, word;
  for (in >> word; !word.empty(); word.clear(), in >> word) {
    if (word[0] == '[' || word == "..." || word == "end") continue;
    if (word == "NAME") word = "ada";
    if (word == "ROOM") word = "lobby";
    if (word == "N") word = "7";
    if (word == "PATH" || word == "FROM" || word == "TO") word = "f";
    if (word == "TEXT") word = "hello";
    line += (line.empty() ? "" : " ") + word;
  }
  return line;
}

}  // namespace

TEST(Commands, EveryCommandParsesAsItsSyntaxSays) {
  for (const host::CommandInfo &c : host::commands()) {
    host::Command cmd;
    std::string err;
    const std::string line = sampleLine(c.syntax);
    ASSERT_TRUE(host::parseCommand(line, cmd, err)) << line << ": " << err;
    EXPECT_EQ(cmd.op, c.op) << line;
    if (c.words == 0) continue;
    // One word fewer than the syntax names is refused.
    const std::string shorter = line.substr(0, line.rfind(' '));
    EXPECT_FALSE(host::parseCommand(shorter, cmd, err)) << shorter;
  }
}

TEST(Help, ListsEveryCommandsSyntaxALineEachThenTheKeys) {
  std::string text;
  ASSERT_TRUE(host::help({}, text));
  EXPECT_EQ(text,
            "Commands (help COMMAND says what one does):\n"
            "  user NAME [crc=N] [counter=N] [puidctr=N] [puidcrc=N] [ip=A.B.C.D] [flags=N] "
            "[len=N]\n"
            "  logon NAME\n"
            "  enter NAME ROOM\n"
            "  delete NAME\n"
            "  wait N\n"
            "  show NAME\n"
            "  write PATH ... end\n"
            "  remove PATH\n"
            "  rename FROM TO\n"
            "  note TEXT\n"
            "  churn N [every=K] [crc=N] [counter=N] [puidctr=N] [puidcrc=N] [ip=A.B.C.D] "
            "[flags=N]\n"
            "  help [COMMAND]\n"
            "Keys: the arrows and Emacs keys edit the line; Up and Down recall earlier\n"
            "lines; Tab completes a command's name; Ctrl-C drops the line; Ctrl-D at an\n"
            "empty prompt ends the session.\n");
}

TEST(Help, OneCommandsSyntaxAndWhatItDoes) {
  const struct {
    std::vector<std::string> words;
    bool known;
    std::string text;
  } cases[] = {
      {{"wait"},
       true,
       "wait N\n"
       "  Advances the clock by N host time units and runs each timer event that\n"
       "  falls due, in due order; wait 0 runs what is due now.\n"},
      {{"help"},
       true,
       "help [COMMAND]\n"
       "  Shows every command's syntax, or one command's syntax and what it does.\n"
       "  It is the prompt's own command: a scenario file cannot use it.\n"},
      {{"fly"},
       false,
       "no command 'fly' (user, logon, enter, delete, wait, show, write, remove, rename, note, "
       "churn, help)"},
      {{"fl\x1By"},
       false,
       "no command 'fl\\x1By' (user, logon, enter, delete, wait, show, write, remove, rename, "
       "note, churn, help)"},
      {{"wait", "show"}, false, "help takes one command's name at the most, got 2"},
  };
  for (const auto &c : cases) {
    std::string text;
    EXPECT_EQ(host::help(c.words, text), c.known) << c.words[0];
    EXPECT_EQ(text, c.text) << c.words[0];
  }
}

TEST(Help, EveryCommandsWordsAreShortLinesUnderItsSyntax) {
  for (const host::CommandInfo &c : host::commands()) {
    std::string text;
    ASSERT_TRUE(host::help({c.name}, text)) << c.name;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, c.syntax);
    while (std::getline(lines, line)) {
      EXPECT_EQ(line.compare(0, 2, "  "), 0) << c.name << ": " << line;
      EXPECT_LE(line.size(), 78u) << c.name << ": " << line;
    }
  }
}
