#include "cli.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "content/encoding.h"
#include "content/json-out.h"
#include "content/text-out.h"
#include "numbers.h"

namespace tl {
namespace {

struct Named {
  const char *name;
  std::string &value;
  const char *help;
};

// Two options that go together, each needing the other; returns the first, and the second in
// `second`.
CLI::Option *addPair(CLI::App *sub, const Named &a, const Named &b, CLI::Option *&second) {
  CLI::Option *first =
      sub->add_option(a.name, a.value, std::string(a.help) + " (with " + b.name + ")")
          ->type_name("N");
  second = sub->add_option(b.name, b.value, std::string(b.help) + " (with " + a.name + ")")
               ->type_name("N");
  first->needs(second);
  second->needs(first);
  return first;
}

}  // namespace

UtcSeconds clockNow() {
  return static_cast<UtcSeconds>(std::time(nullptr));
}

std::string listHome() {
  return TOLVANE_LIST_HOME;
}

CLI::App *listSubcommand(CLI::App &tool, const std::string &name, const std::string &description,
                         std::string &file) {
  CLI::App *sub = tool.add_subcommand(name, description);
  sub->add_option("FILE", file, "the list file (default: " + listHome() + ")");
  return sub;
}

Outcome numberOption(const std::string &option, const std::string &text, uint32 &out) {
  uint64_t n = 0;
  if (!tvc::parseNumber(text, 0xFFFFFFFFu, n)) {
    return usage(option + " takes a number from 0 to 4294967295 (decimal or 0x-hex), got '" + text +
                 "'");
  }
  out = static_cast<uint32>(n);
  return done();
}

Outcome addressOption(const std::string &option, const std::string &text, uint32 &out) {
  if (!tvc::parseAddress(text, out))
    return usage(option + " takes an address A.B.C.D, got '" + text + "'");
  return done();
}

namespace {

void addChangeOptions(CLI::App *sub, ChangeOptions &o, ChangeKind kind, bool *json) {
  sub->add_option("--as", o.as,
                  "the server's account (a name or an id), trusted with the list: it may own it")
      ->type_name("USER");
  // A flag whose seconds come only with '=': a word after a bare --wait is never taken for them.
  sub->add_flag("--wait", o.waitGiven,
                "wait for another change of the list to end: as long as it takes, or at most "
                "SECONDS")
      ->type_name("[=SECONDS]");
  o.creates = kind == kEditing || kind == kAdding;
  if (o.creates) sub->add_flag("--create", o.create, "make the list when it does not exist yet");
  sub->add_flag("--break-links", o.breakLinks,
                "install even when the list has other names (hard links), which keep the old "
                "table");
  sub->add_flag("--allow-empty", o.allowEmpty,
                "install a list that gives no record (the plug-in then recognises nobody)");
  if (kind == kEditing) return;
  sub->add_flag("--dry-run", o.dryRun, "show what would change; take no lock, write nothing");
  if (json != nullptr) sub->add_flag("--json", *json, "the result as JSON on standard output");
}

}  // namespace

void endChangeSubcommand(CLI::App *sub, ChangeOptions &o, ChangeKind kind,
                         const std::string &footer, bool *json) {
  addChangeOptions(sub, o, kind, json);
  sub->footer(footer);
  nameValues(sub);
}

std::string misplacedWait(int argc, char **argv) {
  for (int i = 1; i + 1 < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--wait") != 0) continue;
    const std::string next = argv[i + 1];
    if (next.empty() || next.find_first_not_of("0123456789.") != std::string::npos) continue;
    return "--wait takes its seconds as --wait=" + next +
           ": the word after a bare --wait is not "
           "its value (it would be read as the list or a line number)";
  }
  return "";
}

void RecordOptions::add(CLI::App *sub, bool addressRequired) {
  rseedOpt_ = sub->add_option("--rseed", rseed_, "registration seed")->type_name("N");
  CLI::Option *counter = nullptr, *puidCrc = nullptr;
  crcOpt_ = addPair(sub, {"--crc", crc_, "registration crc"},
                    {"--counter", counter_, "registration counter"}, counter);
  rseedOpt_->excludes(crcOpt_)->excludes(counter);
  pseedOpt_ = sub->add_option("--pseed", pseed_, "PUID seed (default 0: any PUID)")->type_name("N");
  puidOpt_ = addPair(sub, {"--puidctr", puidCtr_, "PUID counter"},
                     {"--puidcrc", puidCRC_, "PUID crc"}, puidCrc);
  pseedOpt_->excludes(puidOpt_)->excludes(puidCrc);
  addrOpt_ =
      sub->add_option("--addr", addr_, "address pattern: 10.1.2.3, 10.1.*.*")->type_name("PATTERN");
  if (addressRequired) addrOpt_->required();
  noteOpt_ = sub->add_option("--note", note_, "whom the line is for: the comment after the record")
                 ->type_name("TEXT");
}

void RecordOptions::addUser(CLI::App *sub) {
  ipOpt_ = sub->add_option("--ip", ip_,
                           "a user's address instead of --addr: the records that recognise the "
                           "person there")
               ->type_name("A.B.C.D")
               ->excludes(addrOpt_);
}

bool RecordOptions::given() const {
  return rseedOpt_->count() != 0 || crcOpt_->count() != 0 || pseedOpt_->count() != 0 ||
         puidOpt_->count() != 0 || addrOpt_->count() != 0 ||
         (ipOpt_ != nullptr && ipOpt_->count() != 0);
}

Outcome RecordOptions::seeds(uint32 &rSeed, uint32 &pSeed) const {
  if (rseedOpt_->count() == 0 && crcOpt_->count() == 0)
    return usage("give --rseed, or --crc and --counter");
  uint32 a = 0, b = 0;
  Outcome o = done();
  if (rseedOpt_->count() != 0) {
    o = numberOption("--rseed", rseed_, rSeed);
  } else {
    o = numberOption("--crc", crc_, a);
    if (o.ok()) o = numberOption("--counter", counter_, b);
    rSeed = tvProbe(a, b, 0, 0, 0).rSeed;
  }
  pSeed = 0;
  if (!o.ok()) return o;
  if (pseedOpt_->count() != 0) return numberOption("--pseed", pseed_, pSeed);
  if (puidOpt_->count() == 0) return done();
  o = numberOption("--puidctr", puidCtr_, a);
  if (o.ok()) o = numberOption("--puidcrc", puidCRC_, b);
  pSeed = tvProbe(0, 0, a, b, 0).pSeed;
  return o;
}

Outcome RecordOptions::line(std::string &out, const std::string *note) const {
  if (addrOpt_->count() == 0) return usage("give the address pattern with --addr");
  uint32 rSeed = 0, pSeed = 0;
  Outcome o = seeds(rSeed, pSeed);
  return o.ok() ? encodeLine(rSeed, pSeed, addr_, note != nullptr ? *note : note_, out) : o;
}

Outcome RecordOptions::revocation(Revocation &out) const {
  out = Revocation{};
  out.byNote = noteGiven();
  out.note = note_;
  const bool ip = ipOpt_ != nullptr && ipOpt_->count() != 0, addr = addrOpt_->count() != 0;
  const bool seeded = rseedOpt_->count() != 0 || crcOpt_->count() != 0;
  if (!seeded) {
    if (ip || addr || pseedOpt_->count() != 0 || puidOpt_->count() != 0)
      return usage("name the person by their seeds: --rseed, or --crc and --counter");
    return done();
  }
  out.bySeeds = true;
  out.ranged = ip || addr;
  out.whom.anyPuid = pseedOpt_->count() == 0 && puidOpt_->count() == 0;
  Outcome o = seeds(out.whom.rSeed, out.whom.pSeed);
  if (!o.ok()) return o;
  if (ip) {
    uint32 at = 0;
    o = addressOption("--ip", ip_, at);
    out.whom.lo = out.whom.hi = at;
    return o;
  }
  if (!addr) return done();
  // The range of the pattern, as a record of it would have it.
  std::string text;
  o = encodeLine(out.whom.rSeed, 0, addr_, "", text);
  Tolvane rec{};
  if (o.ok() && recordOfLine(text, rec)) {
    out.whom.lo = rec.ipMin;
    out.whom.hi = rec.ipMax;
  }
  return o;
}

void UserOptions::add(CLI::App *sub, bool required) {
  crcOpt_ = sub->add_option("--crc", crc_, "the user's registration crc")->type_name("N");
  CLI::Option *counter =
      sub->add_option("--counter", counter_, "the user's registration counter")->type_name("N");
  rseedOpt_ = sub->add_option("--rseed", rseed_,
                              "the user's registration seed, instead of --crc and --counter")
                  ->type_name("N")
                  ->excludes(crcOpt_)
                  ->excludes(counter);
  CLI::Option *pc =
      sub->add_option("--puidctr", puidCtr_, "the user's PUID counter (default 0)")->type_name("N");
  CLI::Option *pr =
      sub->add_option("--puidcrc", puidCRC_, "the user's PUID crc (default 0)")->type_name("N");
  pseedOpt_ =
      sub->add_option("--pseed", pseed_, "the user's PUID seed, instead of --puidctr and --puidcrc")
          ->type_name("N")
          ->excludes(pc)
          ->excludes(pr);
  ipOpt_ = sub->add_option("--ip", ip_, "the user's address")->type_name("A.B.C.D");
  if (required) ipOpt_->required();
  pc->needs(pr);
  pr->needs(pc);
  crcOpt_->needs(counter);
  counter->needs(crcOpt_);
}

bool UserOptions::given() const {
  return crcOpt_->count() != 0 || rseedOpt_->count() != 0 || ipOpt_->count() != 0 ||
         pseedOpt_->count() != 0 || puidCtr_ != "0" || puidCRC_ != "0";
}

Outcome UserOptions::probe(TvProbe &out) const {
  if (crcOpt_->count() == 0 && rseedOpt_->count() == 0)
    return usage("give the user's --rseed, or --crc and --counter");
  if (ipOpt_->count() == 0) return usage("give the user's address with --ip");
  uint32 crc = 0, counter = 0, puidCtr = 0, puidCRC = 0, ip = 0, seed = 0;
  const bool bySeed = rseedOpt_->count() != 0, byPseed = pseedOpt_->count() != 0;
  for (const Outcome &o :
       {bySeed ? numberOption("--rseed", rseed_, seed) : numberOption("--crc", crc_, crc),
        bySeed ? done() : numberOption("--counter", counter_, counter),
        byPseed ? done() : numberOption("--puidctr", puidCtr_, puidCtr),
        byPseed ? done() : numberOption("--puidcrc", puidCRC_, puidCRC),
        addressOption("--ip", ip_, ip)}) {
    if (!o.ok()) return o;
  }
  out = tvProbe(crc, counter, puidCtr, puidCRC, htonl(ip));
  if (bySeed) out.rSeed = seed;
  if (byPseed) {
    Outcome o = numberOption("--pseed", pseed_, out.pSeed);
    if (!o.ok()) return o;
  }
  return done();
}

void nameValues(CLI::App *sub) {
  for (CLI::Option *opt : sub->get_options()) {
    if (opt->get_positional()) {
      opt->type_name("");
    } else if (opt->get_type_name().empty() && opt->get_expected_min() > 0) {
      opt->type_name("N");
    }
  }
}

}  // namespace tl
