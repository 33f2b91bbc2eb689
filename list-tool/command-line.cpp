#include "command-line.h"

#include "accounts.h"
#include "numbers.h"

namespace tl {

std::string listHome() {
  return TOLVANE_LIST_HOME;
}

CLI::App *listSubcommand(CLI::App &tool, const std::string &name, const std::string &description,
                         std::string &file) {
  CLI::App *sub = tool.add_subcommand(name, description);
  sub->add_option("FILE", file, "the list file (default: " + listHome() + ")");
  return sub;
}

uint32 numberOption(const std::string &option, const std::string &text) {
  uint64_t n = 0;
  if (!tvc::parseNumber(text, 0xFFFFFFFFu, n))
    throw Usage{option + " takes a number from 0 to 4294967295 (decimal or 0x-hex), got '" + text +
                "'"};
  return static_cast<uint32>(n);
}

uint32 addressOption(const std::string &option, const std::string &text) {
  uint32 a = 0;
  if (!tvc::parseAddress(text, a))
    throw Usage{option + " takes an address A.B.C.D, got '" + text + "'"};
  return a;
}

std::string accountOption(const std::string &text) {
  Account a;
  if (!findAccount(text, a)) throw Usage{"--as: no account '" + text + "'"};
  return a.name;
}

void addChangeOptions(CLI::App *sub, ChangeOptions &o, ChangeKind kind) {
  sub->add_option("--as", o.as,
                  "the server's account (a name or an id), trusted with the list: it may own it")
      ->type_name("USER");
  sub->add_option("--wait", o.wait,
                  "wait for another change of the list to end: at most SECONDS (0: as long as it "
                  "takes)")
      ->type_name("SECONDS")
      ->expected(0, 1)
      ->default_str("0");
  if (kind != kRemoving)
    sub->add_flag("--create", o.create, "make the list when it does not exist yet");
  sub->add_flag("--break-links", o.breakLinks,
                "install even when the list has other names (hard links), which keep the old "
                "table");
  sub->add_flag("--allow-empty", o.allowEmpty,
                "install a list that gives no record (the plug-in then recognises nobody)");
  if (kind == kEditing) return;
  sub->add_flag("--dry-run", o.dryRun, "show what would change; take no lock, write nothing");
  sub->add_flag("--json", o.json, "the result as JSON on standard output");
}

void finishChangeOptions(ChangeOptions &o) {
  if (!o.as.empty()) accountOption(o.as);
}

void nameValues(CLI::App *sub) {
  for (CLI::Option *opt : sub->get_options()) {
    if (opt->get_positional()) {
      opt->type_name(opt->get_name());
    } else if (opt->get_type_name().empty() && opt->get_expected_min() > 0) {
      opt->type_name("N");
    }
  }
}

}  // namespace tl
