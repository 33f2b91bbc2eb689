// What the subcommands share on the command line: the default list, numbers and addresses as
// people type them, the server's account (--as), the options of a change, an administrator's
// record values, a user's values, and the one way a usage error is said.
#ifndef TOLVANE_LIST_CLI_H
#define TOLVANE_LIST_CLI_H

#include <CLI/CLI.hpp>
#include <string>

#include "change/change.h"
#include "content/grant-end.h"
#include "content/revocation.h"
#include "outcome.h"
#include "tv-list.h"
#include "tv-match.h"

namespace tl {

// The clock's time now, in seconds since 1970 in UTC.
UtcSeconds clockNow();

// The list taken when no FILE is given: /etc/tolvane/admins.list for the prefix /usr.
std::string listHome();

// A subcommand that reads or changes one list, with its optional FILE.
CLI::App *listSubcommand(CLI::App &tool, const std::string &name, const std::string &description,
                         std::string &file);

// A number from 0 to 4294967295, decimal or 0x-hex; trouble naming the option otherwise.
Outcome numberOption(const std::string &option, const std::string &text, uint32 &out);

// An address A.B.C.D; trouble naming the option otherwise.
Outcome addressOption(const std::string &option, const std::string &text, uint32 &out);

// What a subcommand's change options include besides --as, --wait, --break-links and
// --allow-empty.
enum ChangeKind { kEditing, kAdding, kRemoving, kUndoing };

// Ends the definition of a change's subcommand: the options a change takes (--as, --wait,
// --break-links, --allow-empty; --create when it can make a list (edit, add); --dry-run, and
// --json into `json`, when it needs no editor (add, remove, undo)), the footer, and values named
// in its help (nameValues).
void endChangeSubcommand(CLI::App *sub, ChangeOptions &o, ChangeKind kind,
                         const std::string &footer, bool *json = nullptr);

// The values of one administrator's record as encode, add and remove take them: the
// registration seed (or the crc and counter it comes from), the PUID seed (or the PUID values),
// the address pattern and a note; for remove, a user's address instead of the pattern.
class RecordOptions {
 public:
  // Adds --rseed, --crc/--counter, --pseed, --puidctr/--puidcrc, --addr and --note; --addr is
  // required when `addressRequired`.
  void add(CLI::App *sub, bool addressRequired);
  // Adds --ip, a user's address in place of --addr: the records that recognise the user there.
  void addUser(CLI::App *sub);
  // Whether any value of a record (or a user's address) was given.
  bool given() const;
  const std::string &note() const { return note_; }
  bool noteGiven() const { return noteOpt_ != nullptr && noteOpt_->count() != 0; }
  // The list line for these values, as encode writes it: trouble when a value is missing or
  // malformed, refused ("values") when they make no line that reads as written.
  // `note`, when given, stands for --note's.
  Outcome line(std::string &out, const std::string *note = nullptr) const;
  // The revocation these values ask for: a person by their seeds (from anywhere, within the
  // range of --addr or at the address of --ip), with or without a note, or by the note alone.
  // Trouble on a value missing or malformed; refused ("values") as line() is.
  Outcome revocation(Revocation &out) const;

 private:
  Outcome seeds(uint32 &rSeed, uint32 &pSeed) const;
  std::string rseed_, crc_, counter_, pseed_, puidCtr_, puidCRC_, addr_, note_, ip_;
  CLI::Option *rseedOpt_ = nullptr, *crcOpt_ = nullptr, *pseedOpt_ = nullptr, *puidOpt_ = nullptr,
              *addrOpt_ = nullptr, *noteOpt_ = nullptr, *ipOpt_ = nullptr;
};

// A user's values as match and diff take them: the registration crc and counter (or the
// registration seed they make), the PUID values (or the PUID seed) and the address, from which
// the plug-in computes what it compares with a record.
class UserOptions {
 public:
  // Adds --crc, --counter, --rseed, --puidctr, --puidcrc, --pseed and --ip; the address
  // required when `required` (a registration seed is asked for by probe()).
  void add(CLI::App *sub, bool required);
  // Whether a user was given.
  bool given() const;
  // The user as the plug-in sees them; trouble on a value missing or malformed.
  Outcome probe(TvProbe &out) const;

 private:
  std::string crc_, counter_, rseed_, puidCtr_ = "0", puidCRC_ = "0", pseed_, ip_;
  CLI::Option *crcOpt_ = nullptr, *rseedOpt_ = nullptr, *pseedOpt_ = nullptr, *ipOpt_ = nullptr;
};

// Numbers are shown as N, the rest as what they are.
void nameValues(CLI::App *sub);

// What is wrong with how the words give --wait its seconds, or "": they go with it, as
// --wait=SECONDS; a number standing after a bare --wait would be read as FILE or a line number.
std::string misplacedWait(int argc, char **argv);

}  // namespace tl

#endif
