// What the subcommands share on the command line: numbers and addresses as people type them,
// the default list, the options of a change, and usage errors.
#ifndef TOLVANE_LIST_COMMAND_LINE_H
#define TOLVANE_LIST_COMMAND_LINE_H

#include <CLI/CLI.hpp>
#include <string>

#include "change.h"
#include "tv-list.h"

namespace tl {

// A usage error found after CLI11's own checks: `tolvane-list: WHAT`, exit status 2.
struct Usage {
  std::string what;
};

// The list taken when no FILE is given: /etc/tolvane/admins.list for the prefix /usr.
std::string listHome();

// A subcommand that reads or changes one list, with its optional FILE.
CLI::App *listSubcommand(CLI::App &tool, const std::string &name, const std::string &description,
                         std::string &file);

// A number from 0 to 4294967295, decimal or 0x-hex; throws Usage naming the option.
uint32 numberOption(const std::string &option, const std::string &text);

// An address A.B.C.D; throws Usage naming the option.
uint32 addressOption(const std::string &option, const std::string &text);

// The account named by --as: a name or a numeric id; throws Usage when there is none.
std::string accountOption(const std::string &text);

// What a subcommand's change options include besides --as, --wait, --break-links and
// --allow-empty.
enum ChangeKind { kEditing, kAdding, kRemoving };

// The options a change takes: --as, --wait, --break-links, --allow-empty; --create when it can
// make a list (edit, add); --dry-run and --json when it needs no editor (add, remove).
void addChangeOptions(CLI::App *sub, ChangeOptions &o, ChangeKind kind);

// Checks a change's options once parsed (the account of --as); throws Usage.
void finishChangeOptions(ChangeOptions &o);

// Numbers are shown as N, the rest as what they are.
void nameValues(CLI::App *sub);

}  // namespace tl

#endif
