// The scenario language of the stand-in host: one command per line, a `write` with the block
// of lines up to its `end`. The reader turns the text into whole commands; the host runs them.
#ifndef TOLVANE_HOST_SCENARIO_H
#define TOLVANE_HOST_SCENARIO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"

namespace host {

// The fields of a user record, as `user` and `churn` give them.
struct UserSpec {
  std::string nameBytes;  // the name's characters, escapes decoded
  int lenByte = -1;       // length byte to store instead of the name's length; -1: the length
  uint32_t crc = 0;
  uint32_t counter = 0;
  uint32_t puidCtr = 0;
  uint32_t puidCRC = 0;
  uint32_t ip = 0;  // first octet most significant
  uint16_t flags = 0;
};

struct Command {
  Op op = Op::None;
  std::vector<std::string> args;   // the words after the command's name, options aside
  UserSpec user;                   // for `user`, and the fields `churn` gives its users
  uint32_t amount = 0;             // for `wait` and `churn`
  uint32_t every = 1000;           // for `churn`: users between two `wait 150`
  int line = 0;                    // where the command starts in the scenario
  std::string echo;                // the line as the transcript shows it: no comment, no end blanks
  std::vector<std::string> block;  // for `write`: the block's lines as written
  std::string content;             // for `write`: what they give
};

// Splits a line into words at spaces, tabs and carriage returns, up to a '#'.
std::vector<std::string> words(const std::string &line);

// Parses one line (without its newline). Blank and comment lines give Op::None. A `write`
// parsed here has no block yet. On bad input returns false and says what is wrong in `err`.
bool parseCommand(const std::string &line, Command &cmd, std::string &err);

// Decodes one line of a `write` block: \\ \r \n \t \xHH are escapes, and a \c that ends the
// line drops the newline that otherwise ends it. Returns false with a message on a bad escape.
bool decodeBlockLine(const std::string &line, std::string &out, std::string &err);

// Decodes \xHH and \\ in a user name.
bool decodeName(const std::string &word, std::string &out, std::string &err);

// The longest line a scenario may hold, its newline aside: a longer one is bad input, and no
// more of it than this is ever kept.
constexpr size_t kLineMax = 65536;

// Where a scenario's lines come from when they are typed: a person at a terminal (terminal.h).
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line, without its newline, into `text`; false at the end. `block`: the line
  // belongs to a `write` block.
  virtual bool next(std::string &text, bool block) = 0;
};

// Reads whole commands from a scenario: from a descriptor (a file, standard input), a text or
// a source of typed lines.
class ScenarioReader {
 public:
  // Reads from the descriptor, which stays open.
  explicit ScenarioReader(int fd) : fd_(fd) {}
  // Reads the text.
  explicit ScenarioReader(std::string text) : buf_(std::move(text)) {}
  // Reads the lines the source gives, which must outlive the reader.
  explicit ScenarioReader(LineSource &source) : source_(&source) {}
  // The next command; false at the end of the scenario. On bad input `err` says what is wrong
  // at line `errLine`, and `cmd` holds what was read of it (a `write` with the block lines
  // before the bad one); a bad block is read on to its `end`, so that reading can go on. A line
  // longer than kLineMax is bad input, skipped to its end; a read error is bad input after
  // which the scenario ends.
  bool next(Command &cmd, std::string &err, int &errLine);

 private:
  enum class Read { Line, End, Bad };
  // The next line without its newline, or the end; Bad with `err` for a line too long or a
  // read error.
  Read line(std::string &text, std::string &err);
  // Refills the buffer from the descriptor; false at its end or on a read error (`err`).
  bool fill(std::string &err);

  // Reads the block of a `write` to its `end` into `cmd`; a bad line of it sets `err` and
  // `errLine`, and the block is read on.
  void readBlock(Command &cmd, std::string &err, int &errLine);
  // A line of the source, or Bad with `err` for one too long.
  Read typed(std::string &text, std::string &err);

  int fd_ = -1;
  LineSource *source_ = nullptr;
  bool inBlock_ = false;  // reading a `write` block
  std::string buf_;
  size_t pos_ = 0;
  bool failed_ = false;  // a read failed: nothing more is read
  int lineNo_ = 0;
};

}  // namespace host

#endif
