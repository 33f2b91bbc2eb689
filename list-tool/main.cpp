// tolvane-list: checks, explains and writes the administrator list file.
// Exit status: 0 clean, 1 findings (or no match, or a refusal), 2 usage or unreadable file.
#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "explain.h"
#include "listfile.h"
#include "numbers.h"
#include "report.h"
#include "seeds.h"
#include "tv-match.h"

namespace {

constexpr int kClean = 0, kFindings = 1, kUsage = 2;

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

int check(const std::vector<std::string> &files, bool json) {
  std::vector<tl::Report> reports;
  bool findings = false;
  for (const std::string &f : files) {
    std::string data, err;
    if (!tl::readFile(f, data, err)) {
      std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
      return kUsage;
    }
    reports.push_back(tl::checkList(f, data));
    findings = findings || !reports.back().findings.empty();
  }
  if (json) {
    tl::printJson(stdout, reports);
  } else {
    for (const tl::Report &r : reports) tl::printText(stdout, r);
  }
  return findings ? kFindings : kClean;
}

const char *verdict(TvVerdict v) {
  switch (v) {
    case TV_MATCH:
      return "recognises this user";
    case TV_RSEED_DIFFERS:
      return "registration seed differs";
    case TV_PSEED_DIFFERS:
      return "PUID seed differs";
    case TV_BELOW:
      return "address is below the range";
    default:
      return "address is above the range";
  }
}

int match(const std::string &file, uint32 crc, uint32 counter, uint32 puidCtr, uint32 puidCRC,
          uint32 ip) {
  std::string data, err;
  if (!tl::readFile(file, data, err)) {
    std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
    return kUsage;
  }
  const tl::Report r = tl::checkList(file, data);
  const TvProbe user = tvProbe(crc, counter, puidCtr, puidCRC, htonl(ip));
  std::printf("user: registration seed %u, PUID seed %u, address %s\n", user.rSeed, user.pSeed,
              tl::dotted(user.ipAdr).c_str());
  for (const tl::Loaded &l : r.records) {
    const TvVerdict v = tvCompare(&l.rec, &user);
    std::printf("%s:%d: slot %d: %s", file.c_str(), l.line, l.slot, verdict(v));
    if (v == TV_RSEED_DIFFERS) std::printf(" (record %u)", l.rec.rSeed);
    if (v == TV_PSEED_DIFFERS) std::printf(" (record %u)", l.rec.pSeed);
    if (v == TV_BELOW || v == TV_ABOVE)
      std::printf(" %s to %s", tl::dotted(l.rec.ipMin).c_str(), tl::dotted(l.rec.ipMax).c_str());
    std::printf("\n");
    if (v == TV_MATCH) return kClean;  // later records are not looked at
  }
  std::printf("no record recognises this user\n");
  return kFindings;
}

int decode(const std::string &text) {
  std::string letters = text;
  if (letters.size() >= 2 && letters.front() == '{' && letters.back() == '}')
    letters = letters.substr(1, letters.size() - 2);
  uint32 value = 0;
  uint64_t unwrapped = 0;
  std::string why;
  const bool asReg = tl::decodeSeed(letters, false, value, unwrapped, why);
  if (!asReg && !tl::decodeSeed(letters, true, value, unwrapped, why)) {
    std::fprintf(stderr, "tolvane-list: '%s' is not a seed: %s\n", letters.c_str(), why.c_str());
    return kFindings;
  }
  std::printf("{%s} = %u", letters.c_str(), value);
  if (unwrapped != value)
    std::printf(" (%llu, wrapped modulo 2^32)", static_cast<unsigned long long>(unwrapped));
  if (!asReg) std::printf(" (as a PUID seed only: 'Z' is not allowed in a registration seed)");
  std::printf("\n");
  return kClean;
}

}  // namespace

namespace {

int run(int argc, char **argv) {
  CLI::App app{
      "Checks, explains and writes Tolvane's administrator list file.\n"
      "Exit status: 0 clean, 1 findings, 2 usage or an unreadable file."};
  app.require_subcommand(1);

  std::vector<std::string> files;
  bool json = false;
  CLI::App *chk = app.add_subcommand(
      "check",
      "Read each FILE exactly as the plug-in does and report every line that gives no\n"
      "record and why, and records that may not admit what was meant; then list the\n"
      "records the plug-in loads. FILE - reads standard input.");
  chk->add_option("FILE", files, "list files")->required();
  chk->add_flag("--json", json, "findings and records as JSON");

  std::string mFile, mCrc, mCounter, mPuidCtr = "0", mPuidCRC = "0", mIp;
  CLI::App *mat = app.add_subcommand(
      "match", "Say which record would recognise a user with these values, or why each does not.");
  mat->add_option("FILE", mFile, "list file")->required();
  mat->add_option("--crc", mCrc, "the user's registration crc")->required()->type_name("N");
  mat->add_option("--counter", mCounter, "the user's registration counter")
      ->required()
      ->type_name("N");
  CLI::Option *mpc = mat->add_option("--puidctr", mPuidCtr, "the user's PUID counter (default 0)");
  CLI::Option *mpr = mat->add_option("--puidcrc", mPuidCRC, "the user's PUID crc (default 0)");
  mpc->needs(mpr);
  mpr->needs(mpc);
  mat->add_option("--ip", mIp, "the user's address")->required()->type_name("A.B.C.D");

  std::string eRseed, eCrc, eCounter, ePseed, ePuidCtr, ePuidCRC, eAddr, eNote;
  CLI::App *enc = app.add_subcommand(
      "encode",
      "Print one list line for these values, in the shortest letters, checked by\n"
      "reading it back with the plug-in's parser.");
  CLI::Option *ers = enc->add_option("--rseed", eRseed, "registration seed");
  CLI::Option *ecr = enc->add_option("--crc", eCrc, "registration crc (with --counter)");
  CLI::Option *eco = enc->add_option("--counter", eCounter, "registration counter (with --crc)");
  ecr->needs(eco);
  eco->needs(ecr);
  ers->excludes(ecr)->excludes(eco);
  CLI::Option *eps = enc->add_option("--pseed", ePseed, "PUID seed (default 0: any PUID)");
  CLI::Option *epc = enc->add_option("--puidctr", ePuidCtr, "PUID counter (with --puidcrc)");
  CLI::Option *epr = enc->add_option("--puidcrc", ePuidCRC, "PUID crc (with --puidctr)");
  epc->needs(epr);
  epr->needs(epc);
  eps->excludes(epc)->excludes(epr);
  enc->add_option("--addr", eAddr, "address pattern: 10.1.2.3, 10.1.*.*, *.*.*.*")
      ->required()
      ->type_name("PATTERN");
  enc->add_option("--note", eNote, "a comment for the end of the line");

  std::string dLetters;
  CLI::App *dec = app.add_subcommand("decode", "Print the value of a seed written in letters.");
  dec->add_option("LETTERS", dLetters, "the letters, with or without braces")->required();

  // Numbers are decimal or 0x-hex; the other values say what they are.
  for (CLI::App *sub : {chk, mat, enc, dec}) {
    for (CLI::Option *o : sub->get_options()) {
      const std::string n = o->get_name();
      if (n == "FILE" || n == "LETTERS")
        o->type_name(n == "FILE" ? "FILE" : "LETTERS");
      else if (n == "--note")
        o->type_name("TEXT");
      else if (n != "--ip" && n != "--addr" && o->get_expected_min() > 0)
        o->type_name("N");
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    return app.exit(e) == 0 ? kClean : kUsage;
  }
  try {
    if (chk->parsed()) return check(files, json);
    if (mat->parsed())
      return match(mFile, number("--crc", mCrc), number("--counter", mCounter),
                   number("--puidctr", mPuidCtr), number("--puidcrc", mPuidCRC),
                   address("--ip", mIp));
    if (dec->parsed()) return decode(dLetters);
    if (ers->count() == 0 && ecr->count() == 0)
      throw Usage{"encode needs --rseed, or --crc and --counter"};
    const uint32 rSeed = ers->count() != 0
                             ? number("--rseed", eRseed)
                             : number("--crc", eCrc) ^ number("--counter", eCounter) ^ TV_MASK;
    const uint32 pSeed = eps->count() != 0 ? number("--pseed", ePseed)
                         : epc->count() != 0
                             ? number("--puidctr", ePuidCtr) ^ number("--puidcrc", ePuidCRC)
                             : 0;
    std::string line, why;
    if (!tl::encodeLine(rSeed, pSeed, eAddr, eNote, line, why)) {
      std::fprintf(stderr, "tolvane-list: refused: %s\n", why.c_str());
      return kFindings;
    }
    std::printf("%s\n", line.c_str());
    return kClean;
  } catch (const Usage &u) {
    std::fprintf(stderr, "tolvane-list: %s\n", u.what.c_str());
    return kUsage;
  }
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {  // out of memory, say: a message rather than an abort
    std::fprintf(stderr, "tolvane-list: %s\n", e.what());
    return kUsage;
  }
}
