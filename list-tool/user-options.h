// A user's values as match and diff take them: the registration crc and counter, the PUID
// values and the address, from which the plug-in computes what it compares with a record.
#ifndef TOLVANE_LIST_USER_OPTIONS_H
#define TOLVANE_LIST_USER_OPTIONS_H

#include <CLI/CLI.hpp>
#include <string>

#include "tv-match.h"

namespace tl {

class UserOptions {
 public:
  // Adds --crc, --counter, --puidctr, --puidcrc and --ip; all but the PUID values required when
  // `required`.
  void add(CLI::App *sub, bool required);
  // Whether a user was given.
  bool given() const;
  // The user as the plug-in sees them; throws Usage on a malformed value.
  TvProbe probe() const;

 private:
  std::string crc_, counter_, puidCtr_ = "0", puidCRC_ = "0", ip_;
  CLI::Option *crcOpt_ = nullptr;
};

}  // namespace tl

#endif
