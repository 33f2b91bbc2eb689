// A subcommand of tolvane-list: each file of this folder defines one, with its options, its
// usage and its action. main.cpp holds only the table of them.
#ifndef TOLVANE_LIST_COMMANDS_COMMAND_H
#define TOLVANE_LIST_COMMANDS_COMMAND_H

#include <CLI/CLI.hpp>
#include <functional>

#include "content/voice.h"

namespace tl {

// A subcommand added to the tool's command line, what runs when it is the one given (saying
// all it says through the run's Voice, and returning the exit status), and its --json flag,
// when it has one (null otherwise), which decides how the Voice speaks.
struct Subcommand {
  CLI::App *app;
  std::function<int(Voice &)> run;
  const bool *json;
};

Subcommand defineCheck(CLI::App &tool);
Subcommand defineMatch(CLI::App &tool);
Subcommand defineEncode(CLI::App &tool);
Subcommand defineDecode(CLI::App &tool);
Subcommand defineDiff(CLI::App &tool);
Subcommand defineEdit(CLI::App &tool);
Subcommand defineAdd(CLI::App &tool);
Subcommand defineRemove(CLI::App &tool);
Subcommand defineUndo(CLI::App &tool);
Subcommand defineHistory(CLI::App &tool);
Subcommand defineExpire(CLI::App &tool);

}  // namespace tl

#endif
