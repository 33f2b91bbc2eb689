// The values of one administrator's record as encode, add and remove take them: the
// registration seed (or the crc and counter it comes from), the PUID seed (or the PUID values),
// the address pattern and a note.
#ifndef TOLVANE_LIST_RECORD_OPTIONS_H
#define TOLVANE_LIST_RECORD_OPTIONS_H

#include <CLI/CLI.hpp>
#include <string>

#include "tv-list.h"

namespace tl {

class RecordOptions {
 public:
  // Adds --rseed, --crc/--counter, --pseed, --puidctr/--puidcrc, --addr and --note; --addr is
  // required when `addressRequired`.
  void add(CLI::App *sub, bool addressRequired);
  // Whether any value of a record was given.
  bool given() const;
  uint32 rSeed() const;
  uint32 pSeed() const;
  const std::string &pattern() const { return addr_; }
  const std::string &note() const { return note_; }
  bool noteGiven() const { return noteOpt_ != nullptr && noteOpt_->count() != 0; }
  // The list line for these values, as encode writes it; false with the reason when they make
  // none (throws Usage when a value is missing or malformed).
  bool line(std::string &out, std::string &why) const;

 private:
  std::string rseed_, crc_, counter_, pseed_, puidCtr_, puidCRC_, addr_, note_;
  CLI::Option *rseedOpt_ = nullptr, *crcOpt_ = nullptr, *pseedOpt_ = nullptr, *puidOpt_ = nullptr,
              *addrOpt_ = nullptr, *noteOpt_ = nullptr;
};

}  // namespace tl

#endif
