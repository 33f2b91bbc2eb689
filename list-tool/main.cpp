// tolvane-list: checks, explains, compares, writes and changes the administrator list file.
// This file holds only the table of subcommands; each lives in commands/.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli.h"
#include "commands/command.h"
#include "content/json-out.h"
#include "content/text-out.h"

namespace {

using Define = tl::Subcommand (*)(CLI::App &);

// The subcommands, in the order --help lists them.
const Define kSubcommands[] = {
    tl::defineCheck,  tl::defineMatch, tl::defineEncode,  tl::defineDecode,
    tl::defineDiff,   tl::defineEdit,  tl::defineAdd,     tl::defineRemove,
    tl::defineExpire, tl::defineUndo,  tl::defineHistory,
};

// The subcommand the words name, parsed once by CLI11; a usage error, said as every other
// trouble, in the JSON the subcommand's own --json asks for when the words gave it before the
// error.
int run(int argc, char **argv) {
  CLI::App tool{
      "Checks, explains, compares, writes and changes Tolvane's administrator list file.\n"
      "Exit status: 0 clean, 1 findings or a refusal, 2 trouble (usage, an unreadable\n"
      "file, a step that failed).",
      "tolvane-list"};
  tool.require_subcommand(1);
  tool.set_version_flag("--version", "tolvane-list " TOLVANE_VERSION);
  std::vector<tl::Subcommand> subs;
  std::string names;
  for (Define define : kSubcommands) {
    subs.push_back(define(tool));
    names += (names.empty() ? "" : ", ") + subs.back().app->get_name();
  }
  const auto said = [](const tl::Subcommand *s, const std::string &name, const tl::Outcome &o) {
    tl::Voice voice(name, s != nullptr && s->json != nullptr && *s->json);
    return voice.end(o);
  };
  // A word where the subcommand belongs that is none of them.
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const tl::Subcommand &s : subs) known = known || s.app->get_name() == argv[1];
    if (!known) {
      return said(
          nullptr, "",
          tl::usage(std::string("'") + argv[1] + "' is not a subcommand; the subcommands are " +
                    names + " (tolvane-list --help)"));
    }
  }
  const std::string misplaced = tl::misplacedWait(argc, argv);
  if (!misplaced.empty()) return said(nullptr, "", tl::usage(misplaced));
  try {
    tool.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    // --help and --version print what they were asked for; any other word CLI11 refuses is a
    // usage error, said as every other message of the tool is.
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return tool.exit(e);
    const tl::Subcommand *given = nullptr;
    for (const tl::Subcommand &s : subs) {
      if (s.app->parsed()) given = &s;
    }
    const std::string name = given != nullptr ? given->app->get_name() : "";
    return said(given, name,
                tl::usage(std::string(e.what()) + " (tolvane-list" +
                          (name.empty() ? "" : " " + name) + " --help)"));
  }
  for (const tl::Subcommand &s : subs) {
    if (!s.app->parsed()) continue;
    tl::Voice voice(s.app->get_name(), s.json != nullptr && *s.json);
    return s.run(voice);
  }
  return tl::kTrouble;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    std::fputs("tolvane-list: out of memory\n", stderr);
  } catch (const std::exception &e) {
    tl::printLine(stderr, std::string("tolvane-list: ") + e.what());
  }
  return tl::kTrouble;
}
