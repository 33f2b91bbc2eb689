// A revocation, read against a list: the records it takes out, and the records that keep it
// from being done. A revocation names users: by a record's values (its seeds, and every address
// of its pattern), by a user's values (the seeds, one address), or by the note that says whom a
// record is for. What still recognises a user it names, or comes close to one when nothing
// matched, is named with its reason, so that a revocation never misses in silence.
#ifndef TOLVANE_LIST_CONTENT_REVOCATION_H
#define TOLVANE_LIST_CONTENT_REVOCATION_H

#include <string>
#include <vector>

#include "content/report.h"

namespace tl {

// Users with these seeds from these addresses.
struct Whom {
  uint32 rSeed = 0, pSeed = 0;  // the registration seed, and the PUID seed (0: any PUID)
  uint32 lo = 0, hi = 0;        // the addresses from lo to hi
};

struct Revocation {
  enum By { Values, User, NoteOnly } by = NoteOnly;
  Whom whom;            // Values: the record's seeds and range; User: the user, lo == hi
  bool byNote = false;  // the note must be the record's comment too
  std::string note;
};

// A record the revocation leaves, and why it is named.
struct Left {
  Loaded record;
  bool recognises;     // it recognises a user whom the revocation names; else it comes close
  std::string reason;  // "the same seeds at another address", ...
};

// The records the revocation takes out of `r` (those past the 32nd included): by values the
// same record, by a user every record that admits them, by note alone the record whose comment
// is the note; with a note, only records with that comment.
std::vector<const Loaded *> revoked(const Report &r, const Revocation &q);

// The records of `after` that still recognise a user whom the revocation names: `taken` are the
// records it took out, which name the users of a revocation by note alone.
std::vector<Left> stillRecognising(const Report &after, const Revocation &q,
                                   const std::vector<Tolvane> &taken);

// The records of `r` that come close when the revocation matched nothing: one that recognises a
// user it names, the same seeds at another address, or a comment the same as the note but for
// case, spaces and punctuation (or holding its words, or held in them), on the record's line or
// on a comment line right above it (which is never its note).
std::vector<Left> cameClose(const Report &r, const Revocation &q);

// What a refusal says of the records left: "line 4 (slot 2: registration seed 99, ..., # Bob:
// the same seeds at another address); line 9 (...)".
std::string describeLeft(const std::vector<Left> &left);

// The command that takes these lines out: tolvane-list remove FILE 4 9 (FILE quoted for a shell
// when it needs it).
std::string removeCommand(const std::string &file, const std::vector<int> &lines);

}  // namespace tl

#endif
