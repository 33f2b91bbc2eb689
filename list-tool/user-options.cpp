#include "user-options.h"

#include <arpa/inet.h>

#include "command-line.h"

namespace tl {

void UserOptions::add(CLI::App *sub, bool required) {
  crcOpt_ = sub->add_option("--crc", crc_, "the user's registration crc");
  CLI::Option *counter = sub->add_option("--counter", counter_, "the user's registration counter");
  CLI::Option *pc = sub->add_option("--puidctr", puidCtr_, "the user's PUID counter (default 0)");
  CLI::Option *pr = sub->add_option("--puidcrc", puidCRC_, "the user's PUID crc (default 0)");
  CLI::Option *ip = sub->add_option("--ip", ip_, "the user's address")->type_name("A.B.C.D");
  pc->needs(pr);
  pr->needs(pc);
  if (required) {
    crcOpt_->required();
    counter->required();
    ip->required();
  } else {
    crcOpt_->needs(counter)->needs(ip);
    counter->needs(crcOpt_);
    ip->needs(crcOpt_);
    pc->needs(crcOpt_);
  }
}

bool UserOptions::given() const {
  return crcOpt_->count() != 0;
}

TvProbe UserOptions::probe() const {
  return tvProbe(numberOption("--crc", crc_), numberOption("--counter", counter_),
                 numberOption("--puidctr", puidCtr_), numberOption("--puidcrc", puidCRC_),
                 htonl(addressOption("--ip", ip_)));
}

}  // namespace tl
