#include "record-options.h"

#include "command-line.h"
#include "seeds.h"
#include "tv-match.h"

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
      sub->add_option(a.name, a.value, std::string(a.help) + " (with " + b.name + ")");
  second = sub->add_option(b.name, b.value, std::string(b.help) + " (with " + a.name + ")");
  first->needs(second);
  second->needs(first);
  return first;
}

}  // namespace

void RecordOptions::add(CLI::App *sub, bool addressRequired) {
  rseedOpt_ = sub->add_option("--rseed", rseed_, "registration seed");
  CLI::Option *counter = nullptr, *puidCrc = nullptr;
  crcOpt_ = addPair(sub, {"--crc", crc_, "registration crc"},
                    {"--counter", counter_, "registration counter"}, counter);
  rseedOpt_->excludes(crcOpt_)->excludes(counter);
  pseedOpt_ = sub->add_option("--pseed", pseed_, "PUID seed (default 0: any PUID)");
  puidOpt_ = addPair(sub, {"--puidctr", puidCtr_, "PUID counter"},
                     {"--puidcrc", puidCRC_, "PUID crc"}, puidCrc);
  pseedOpt_->excludes(puidOpt_)->excludes(puidCrc);
  addrOpt_ =
      sub->add_option("--addr", addr_, "address pattern: 10.1.2.3, 10.1.*.*")->type_name("PATTERN");
  if (addressRequired) addrOpt_->required();
  noteOpt_ = sub->add_option("--note", note_, "a comment for the end of the line (whom it is for)")
                 ->type_name("TEXT");
}

bool RecordOptions::given() const {
  return rseedOpt_->count() != 0 || crcOpt_->count() != 0 || pseedOpt_->count() != 0 ||
         puidOpt_->count() != 0 || addrOpt_->count() != 0;
}

uint32 RecordOptions::rSeed() const {
  if (rseedOpt_->count() == 0 && crcOpt_->count() == 0)
    throw Usage{"give --rseed, or --crc and --counter"};
  if (rseedOpt_->count() != 0) return numberOption("--rseed", rseed_);
  return tvProbe(numberOption("--crc", crc_), numberOption("--counter", counter_), 0, 0, 0).rSeed;
}

uint32 RecordOptions::pSeed() const {
  if (pseedOpt_->count() != 0) return numberOption("--pseed", pseed_);
  if (puidOpt_->count() != 0) {
    return tvProbe(0, 0, numberOption("--puidctr", puidCtr_), numberOption("--puidcrc", puidCRC_),
                   0)
        .pSeed;
  }
  return 0;
}

bool RecordOptions::line(std::string &out, std::string &why) const {
  if (addrOpt_->count() == 0) throw Usage{"give the address pattern with --addr"};
  return encodeLine(rSeed(), pSeed(), addr_, note_, out, why);
}

}  // namespace tl
