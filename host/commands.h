// The scenario language's commands, in one table: the parser finds a command and the words it
// takes there, and help, the terminal's completion and --help show the same table, so that what
// the host accepts and what it says it accepts never disagree.
#ifndef TOLVANE_HOST_COMMANDS_H
#define TOLVANE_HOST_COMMANDS_H

#include <cstddef>
#include <string>
#include <vector>

namespace host {

enum class Op { None, User, Logon, Enter, Delete, Wait, Show, Write, Remove, Rename, Note, Churn };

struct CommandInfo {
  const char *name;
  Op op;
  size_t words;        // words after the name, options aside
  bool options;        // key=value options may follow them (user, churn)
  bool text;           // the rest of the line is its text, up to a comment (note)
  const char *syntax;  // the command as help shows it, on one line
  const char *what;    // what it does, for `help COMMAND`: lines of at most 76 characters
};

// Every command, in the order help lists them.
const std::vector<CommandInfo> &commands();

// The command of that name, or null.
const CommandInfo *findCommand(const std::string &name);

// The commands' names, comma-separated, as the message about an unknown command lists them.
std::string commandNames();

// Every command's syntax, a line each, each indented by `indent`.
std::string syntaxLines(const std::string &indent);

}  // namespace host

#endif
