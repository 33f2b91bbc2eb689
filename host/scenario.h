// The scenario language of the stand-in host: one command per line.
#ifndef TOLVANE_HOST_SCENARIO_H
#define TOLVANE_HOST_SCENARIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class Op { None, User, Logon, Enter, Delete, Wait, Show, Write, Remove, Rename, Note, Churn };

// The fields of a `user` command.
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
  std::vector<std::string> args;  // the words after the command's name, options aside
  UserSpec user;                  // for `user`
  uint32_t amount = 0;            // for `wait` and `churn`
  uint32_t every = 1000;          // for `churn`: users between two `wait 150`
};

// Parses one line (without its newline). Blank and comment lines give Op::None.
// On bad input returns false and says what is wrong in `err`.
bool parseCommand(const std::string &line, Command &cmd, std::string &err);

// Decodes one line of a `write` block: \\ \r \n \t \xHH are escapes, and a final \c drops the
// newline that otherwise ends the line. Returns false with a message on a bad escape.
bool decodeBlockLine(const std::string &line, std::string &out, std::string &err);

// Decodes \xHH and \\ in a user name.
bool decodeName(const std::string &word, std::string &out, std::string &err);

}  // namespace host

#endif
