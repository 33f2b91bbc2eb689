// A revocation, read against a list. A person is their seeds: a revocation by a registration
// seed (and a PUID seed, else any PUID) takes every record that recognises that person, from any
// address, or, given a range or an address, every record that recognises them there (a record
// that reaches beyond it goes whole, and is said to); where the same person is still recognised
// outside that range is said, never an error. A note is a label: the comment on a record's own
// line, matched exactly (or that comment without a grant's end, "Ada" for "Ada until
// 2026-12-14T09:00Z"); a note that labels no record is an error, naming the comments anywhere
// in the list that come close, unless the person may already be gone. What a revocation takes
// out is all that it changes: a record it would bring in (a dormant 33rd one) refuses it.
#ifndef TOLVANE_LIST_CONTENT_REVOCATION_H
#define TOLVANE_LIST_CONTENT_REVOCATION_H

#include <string>
#include <vector>

#include "content/report.h"
#include "content/table-diff.h"

namespace tl {

// Users with these seeds from these addresses.
struct Whom {
  uint32 rSeed = 0, pSeed = 0;      // the registration seed, and the PUID seed (with anyPuid false)
  bool anyPuid = true;              // users of any PUID
  uint32 lo = 0, hi = 0xFFFFFFFFu;  // the addresses from lo to hi
};

struct Revocation {
  bool bySeeds = false;  // names a person by their seeds (else by note alone)
  bool ranged = false;   // within a range or at an address given (else from anywhere)
  Whom whom;
  bool byNote = false;  // the record's own comment must be the note
  std::string note;
};

// Whether the record recognises some user whom `w` names.
bool recognisesSome(const Tolvane &rec, const Whom &w);

// The records the revocation takes out of `r` (those past the 32nd included): by seeds, those
// that recognise the person within the range (with a note, only those whose own comment is the
// note); by note alone, those whose own comment is the note.
std::vector<const Loaded *> revoked(const Report &r, const Revocation &q);

// A record named with why.
struct Named {
  Loaded record;
  std::string reason;
};

// The records of `r` that recognise the person of a revocation by seeds outside its range:
// where they are still recognised.
std::vector<Named> recognisedElsewhere(const Report &r, const Revocation &q);

// The records of `after` that still recognise a user whom the revocation names within its
// range: `taken` are the records it took out, which name the users of a revocation by note.
std::vector<Named> stillRecognising(const Report &after, const Revocation &q,
                                    const std::vector<Tolvane> &taken);

// The comments of the list `bytes` (with its report `r`) that come close to a note no record
// has: the same but for case (Unicode case folding), a letter or two apart, or starting with
// the note's words; any comment, a record's own or a comment line, each with the record
// nearest to it.
struct CloseComment {
  int line;              // where the comment is
  std::string text;      // the comment
  bool ownLine;          // it is a record's own comment (else a comment line)
  const Loaded *record;  // the record on its line, or nearest to it (null for none)
};
std::vector<CloseComment> closeComments(const std::string &bytes, const Report &r,
                                        const std::string &note);

// What a change adds to the table beyond what it names: the changes of `changes` that are not
// removals of `named` (a revocation) or, for an add, not the addition of `added`.
std::vector<const TableChange *> unasked(const std::vector<TableChange> &changes,
                                         const std::vector<Tolvane> &named, bool adding);

// "line 4 (slot 2: registration seed 99, ..., # Bob: the reason); line 9 (...)".
std::string describeNamed(const std::vector<Named> &named);

// The command that takes these lines out: tolvane-list remove FILE 4 9 (FILE quoted for a shell
// when it needs it).
std::string removeCommand(const std::string &file, const std::vector<int> &lines);

// The word for a shell: as it is when it holds nothing a shell reads, else quoted.
std::string shellWord(const std::string &word);

}  // namespace tl

#endif
