// tolvane-list: checks, explains, compares, writes and changes the administrator list file.
// Exit status: 0 clean, 1 findings (or no match, or a refusal, or tables that differ),
// 2 trouble (usage, an unreadable file, a list being changed by another tolvane-list).
#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "access.h"
#include "commands.h"
#include "numbers.h"
#include "seeds.h"
#include "tv-match.h"

namespace {

// A usage error raised after CLI11's own checks, for numbers and addresses.
struct Usage {
  std::string what;
};

uint32 number(const std::string &option, const std::string &text) {
  uint64_t n = 0;
  if (!tvc::parseNumber(text, 0xFFFFFFFFu, n))
    throw Usage{option + " takes a number from 0 to 4294967295 (decimal or 0x-hex), got '" + text +
                "'"};
  return static_cast<uint32>(n);
}

uint32 address(const std::string &option, const std::string &text) {
  uint32 a = 0;
  if (!tvc::parseAddress(text, a))
    throw Usage{option + " takes an address A.B.C.D, got '" + text + "'"};
  return a;
}

// The values of an administrator, as encode and add take them.
struct Values {
  std::string rseed, crc, counter, pseed, puidCtr, puidCRC, addr, note;
  CLI::Option *rseedOpt = nullptr, *crcOpt = nullptr, *pseedOpt = nullptr, *puidOpt = nullptr;

  void addOptions(CLI::App *sub) {
    rseedOpt = sub->add_option("--rseed", rseed, "registration seed");
    crcOpt = sub->add_option("--crc", crc, "registration crc (with --counter)");
    CLI::Option *co = sub->add_option("--counter", counter, "registration counter (with --crc)");
    crcOpt->needs(co);
    co->needs(crcOpt);
    rseedOpt->excludes(crcOpt)->excludes(co);
    pseedOpt = sub->add_option("--pseed", pseed, "PUID seed (default 0: any PUID)");
    puidOpt = sub->add_option("--puidctr", puidCtr, "PUID counter (with --puidcrc)");
    CLI::Option *pr = sub->add_option("--puidcrc", puidCRC, "PUID crc (with --puidctr)");
    puidOpt->needs(pr);
    pr->needs(puidOpt);
    pseedOpt->excludes(puidOpt)->excludes(pr);
    sub->add_option("--addr", addr, "address pattern: 10.1.2.3, 10.1.*.*")
        ->required()
        ->type_name("PATTERN");
    sub->add_option("--note", note, "a comment for the end of the line (whom it is for)")
        ->type_name("TEXT");
  }

  uint32 rSeed() const {
    if (rseedOpt->count() == 0 && crcOpt->count() == 0)
      throw Usage{"give --rseed, or --crc and --counter"};
    if (rseedOpt->count() != 0) return number("--rseed", rseed);
    return tvProbe(number("--crc", crc), number("--counter", counter), 0, 0, 0).rSeed;
  }

  uint32 pSeed() const {
    if (pseedOpt->count() != 0) return number("--pseed", pseed);
    if (puidOpt->count() != 0)
      return tvProbe(0, 0, number("--puidctr", puidCtr), number("--puidcrc", puidCRC), 0).pSeed;
    return 0;
  }
};

int run(int argc, char **argv) {
  CLI::App app{
      "Checks, explains, compares, writes and changes Tolvane's administrator list file.\n"
      "Exit status: 0 clean, 1 findings, 2 trouble (usage, an unreadable file, a list\n"
      "being changed by another tolvane-list)."};
  app.require_subcommand(1);
  app.set_version_flag("--version", "tolvane-list " TOLVANE_VERSION);
  const std::string home = TOLVANE_LIST_HOME;
  const std::string fileHelp = "list file (default: " + home + ")";

  std::vector<std::string> files;
  bool json = false;
  std::string as;
  CLI::App *chk = app.add_subcommand(
      "check",
      "Read each FILE exactly as the plug-in does and report every line that gives no\n"
      "record and why, and records that may not admit what was meant; then list the\n"
      "records the plug-in loads. FILE - reads standard input.");
  chk->add_option("FILE", files, "list files (default: " + home + ")");
  chk->add_flag("--json", json, "findings and records as JSON");
  chk->add_option("--as", as, "also say whether this account (the server's) can read FILE")
      ->type_name("USER");

  std::string mFile, mCrc, mCounter, mPuidCtr = "0", mPuidCRC = "0", mIp;
  CLI::App *mat = app.add_subcommand(
      "match",
      "Say which record would recognise a user with these values, with each record's\n"
      "three tests, and which lines give no record or lie past the 32nd.");
  mat->add_option("FILE", mFile, fileHelp);
  mat->add_option("--crc", mCrc, "the user's registration crc")->required();
  mat->add_option("--counter", mCounter, "the user's registration counter")->required();
  CLI::Option *mpc = mat->add_option("--puidctr", mPuidCtr, "the user's PUID counter (default 0)");
  CLI::Option *mpr = mat->add_option("--puidcrc", mPuidCRC, "the user's PUID crc (default 0)");
  mpc->needs(mpr);
  mpr->needs(mpc);
  mat->add_option("--ip", mIp, "the user's address")->required()->type_name("A.B.C.D");

  Values enc;
  CLI::App *encode = app.add_subcommand(
      "encode",
      "Print one list line for these values, in the shortest letters, checked by\n"
      "reading it back as the plug-in and check do.");
  enc.addOptions(encode);

  std::string dLetters;
  CLI::App *dec = app.add_subcommand("decode", "Print the value of a seed written in letters.");
  dec->add_option("LETTERS", dLetters, "the letters, with or without braces")->required();

  std::string before, after;
  CLI::App *diff = app.add_subcommand(
      "diff",
      "Compare the records the plug-in would load from OLD and from NEW: added, removed,\n"
      "moved out of order. Exit status 0 the same table, 1 different, 2 trouble.");
  diff->add_option("OLD", before, "list file")->required();
  diff->add_option("NEW", after, "list file")->required();

  std::string eFile;
  CLI::App *edit = app.add_subcommand(
      "edit",
      "Edit FILE safely: one editor at a time, on a copy in FILE's folder, with $VISUAL,\n"
      "$EDITOR, editor or vi; the copy is checked and renamed over FILE (owner, group\n"
      "and mode kept) only when it has no error, or when told to at the prompt.");
  edit->add_option("FILE", eFile, fileHelp);

  std::string aFile;
  bool aDry = false;
  Values add;
  CLI::App *adder = app.add_subcommand(
      "add",
      "Append the line encode writes for these values to FILE, check the result and\n"
      "install it as edit does; refused when the list would have errors.");
  adder->add_option("FILE", aFile, fileHelp);
  add.addOptions(adder);
  adder->add_flag("--dry-run", aDry, "show what would change; write nothing");

  std::vector<std::string> rItems;
  bool rDry = false;
  CLI::App *remover = app.add_subcommand(
      "remove",
      "Take out these lines of FILE (numbered as check shows them), check the result\n"
      "and install it as edit does; refused when the list would have errors.");
  remover
      ->add_option("LINES", rItems,
                   "[FILE] LINE...: the list file (default: " + home +
                       "), then the numbers of the lines to take out")
      ->required();
  remover->add_flag("--dry-run", rDry, "show what would change; write nothing");

  // Numbers are decimal or 0x-hex; the other values say what they are.
  for (CLI::App *sub : {chk, mat, encode, dec, diff, edit, adder, remover}) {
    for (CLI::Option *o : sub->get_options()) {
      const std::string &tn = o->get_type_name();
      if (o->get_positional()) {
        o->type_name(o->get_name() == "LINES" ? "" : o->get_name());
      } else if ((tn.empty() || tn == "TEXT") && o->get_name() != "--note" &&
                 o->get_name() != "--as" && o->get_expected_min() > 0) {
        o->type_name("N");
      }
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    return app.exit(e) == 0 ? tl::kClean : tl::kTrouble;
  }
  try {
    for (std::string *f : {&mFile, &eFile, &aFile}) {
      if (f->empty()) *f = home;
    }
    if (files.empty()) files.push_back(home);
    if (chk->parsed()) {
      if (!as.empty() && !tl::accountExists(as)) throw Usage{"--as: no account '" + as + "'"};
      return tl::checkCommand(files, json, as);
    }
    if (mat->parsed()) {
      const TvProbe user = tvProbe(number("--crc", mCrc), number("--counter", mCounter),
                                   number("--puidctr", mPuidCtr), number("--puidcrc", mPuidCRC),
                                   htonl(address("--ip", mIp)));
      return tl::matchCommand(mFile, user);
    }
    if (dec->parsed()) return tl::decodeCommand(dLetters);
    if (diff->parsed()) return tl::diffCommand(before, after);
    if (edit->parsed()) return tl::editCommand(eFile);
    if (remover->parsed()) {
      // FILE may be left out: then every word is a line number.
      const bool named = rItems[0].find_first_not_of("0123456789") != std::string::npos;
      std::vector<int> lines;
      for (size_t i = named ? 1 : 0; i < rItems.size(); ++i) {
        uint64_t n = 0;
        if (!tvc::parseNumber(rItems[i], 1000000000, n) || n == 0)
          throw Usage{"remove takes line numbers from 1, got '" + rItems[i] + "'"};
        lines.push_back(static_cast<int>(n));
      }
      if (lines.empty()) throw Usage{"remove needs the numbers of the lines to take out"};
      return tl::removeCommand(named ? rItems[0] : home, lines, rDry);
    }
    if (adder->parsed()) {
      std::string line, why;
      if (!tl::encodeLine(add.rSeed(), add.pSeed(), add.addr, add.note, line, why)) {
        std::fprintf(stderr, "tolvane-list: refused: %s\n", why.c_str());
        return tl::kFindings;
      }
      return tl::addCommand(aFile, line, aDry);
    }
    return tl::encodeCommand(enc.rSeed(), enc.pSeed(), enc.addr, enc.note);
  } catch (const Usage &u) {
    std::fprintf(stderr, "tolvane-list: %s\n", u.what.c_str());
    return tl::kTrouble;
  }
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {  // out of memory, say: a message rather than an abort
    std::fprintf(stderr, "tolvane-list: %s\n", e.what());
    return tl::kTrouble;
  }
}
