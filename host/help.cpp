#include "help.h"

#include "commands.h"
#include "text.h"

namespace host {
namespace {

const char kHelpWhat[] =
    "Shows every command's syntax, or one command's syntax and what it does.\n"
    "It is the prompt's own command: a scenario file cannot use it.";

const char kKeys[] =
    "Keys: the arrows and Emacs keys edit the line; Up and Down recall earlier\n"
    "lines; Tab completes a command's name; Ctrl-C drops the line; Ctrl-D at an\n"
    "empty prompt ends the session.\n";

// Each line of `text` indented by two spaces, each ending in a newline.
std::string indented(const std::string &text) {
  std::string out = "  ";
  for (char c : text) out += c == '\n' ? std::string("\n  ") : std::string(1, c);
  return out + "\n";
}

}  // namespace

bool help(const std::vector<std::string> &words, std::string &text) {
  if (words.empty()) {
    text = "Commands (help COMMAND says what one does):\n" + syntaxLines("  ") + "  " +
           kHelpSyntax + "\n" + kKeys;
    return true;
  }
  if (words.size() > 1) {
    text = "help takes one command's name at the most, got " + std::to_string(words.size());
    return false;
  }
  if (words[0] == "help") {
    text = std::string(kHelpSyntax) + "\n" + indented(kHelpWhat);
    return true;
  }
  const CommandInfo *c = findCommand(words[0]);
  if (c == nullptr) {
    text = "no command " + quoted(words[0]) + " (" + commandNames() + ", help)";
    return false;
  }
  text = std::string(c->syntax) + "\n" + indented(c->what);
  return true;
}

}  // namespace host
