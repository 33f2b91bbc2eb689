// One judgement of a list, for check and for every change: how its path is guarded (the walk's
// findings, errors a change refuses on), and what its journal and the files beside it say (a
// journal that is planted or damaged, which a change refuses too; a change cut short, an outside
// change, lines not on record, copies kept, strays, a previous version undo would refuse, a file
// system that can stall a reload). Internal to change/.
#ifndef TOLVANE_LIST_CHANGE_JUDGEMENT_H
#define TOLVANE_LIST_CHANGE_JUDGEMENT_H

#include <string>
#include <vector>

#include "content/cut-short.h"
#include "content/journal.h"
#include "content/report.h"
#include "files/accounts.h"
#include "files/beside-list.h"
#include "files/guard.h"
#include "files/journal-file.h"

namespace tl {

// The walk's findings about how the list's path is guarded, as findings about the whole file.
std::vector<Finding> guardFindings(const ListPlace &place);

// What the list's journal and the files beside it say (`bytes` the list as read through the
// walk's folder, `report` what the plug-in makes of it).
std::vector<Finding> besideFindings(const ListPlace &place, const Trusted &trusted,
                                    const std::string &bytes, const Report &report);

// Reads the journal of the list at `place` (to append to it when `write`) into `entries`:
// refused when it is planted ("journal-kind", "journal-owner", "journal-writable") or damaged
// ("journal-damaged"), trouble when it cannot be read.
Outcome readJournalAt(const ListPlace &place, const Trusted &trusted, bool write, JournalFile &file,
                      std::vector<JournalEntry> &entries);

// A file beside the list as the judgement of a change cut short takes it.
FileFound asFound(const FoundFile &f);

// "change 20261211T054538Z-Ab3dEf (add by root for alice (sudo), 2026-12-11T05:45:38Z)"
std::string changeNamed(const JournalEntry &e);

// The digest of a list's bytes, "" for a list that is not there.
std::string digestOrNone(bool there, const std::string &bytes);

}  // namespace tl

#endif
