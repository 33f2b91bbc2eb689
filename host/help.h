// What `help` says at the prompt: the commands' syntax, from the one table the parser reads
// (commands.h), and the keys of the terminal.
#ifndef TOLVANE_HOST_HELP_H
#define TOLVANE_HOST_HELP_H

#include <string>
#include <vector>

namespace host {

// The prompt's own command, which is not part of the scenario language.
constexpr const char *kHelpSyntax = "help [COMMAND]";

// What `help WORD...` prints, for the words after `help`: with none, every command's syntax,
// a line each, and the keys; with a command's name, its syntax and what it does. False with a
// message in `text` for anything else.
bool help(const std::vector<std::string> &words, std::string &text);

}  // namespace host

#endif
