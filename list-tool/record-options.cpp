#include "record-options.h"

#include "command-line.h"
#include "seeds.h"
#include "tv-match.h"

namespace tl {

void RecordOptions::add(CLI::App *sub, bool addressRequired) {
  rseedOpt_ = sub->add_option("--rseed", rseed_, "registration seed");
  crcOpt_ = sub->add_option("--crc", crc_, "registration crc (with --counter)");
  CLI::Option *co = sub->add_option("--counter", counter_, "registration counter (with --crc)");
  crcOpt_->needs(co);
  co->needs(crcOpt_);
  rseedOpt_->excludes(crcOpt_)->excludes(co);
  pseedOpt_ = sub->add_option("--pseed", pseed_, "PUID seed (default 0: any PUID)");
  puidOpt_ = sub->add_option("--puidctr", puidCtr_, "PUID counter (with --puidcrc)");
  CLI::Option *pr = sub->add_option("--puidcrc", puidCRC_, "PUID crc (with --puidctr)");
  puidOpt_->needs(pr);
  pr->needs(puidOpt_);
  pseedOpt_->excludes(puidOpt_)->excludes(pr);
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
