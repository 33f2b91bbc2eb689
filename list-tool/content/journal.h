// The journal of a list's changes, as its lines read: one JSON object a line (the format of
// tolvane-list(5)), each an entry that a change wrote before it acted, or once it was done.
//   start    an edit begins: the copy it makes for the operator (before the copy is made)
//   install  a change is about to install: what it read and will install (digests), the files
//            it will make beside the list, its line for the system log, the records it adds and
//            removes, and the table it installs (before the first of those files is made)
//   end      the change is over: installed or not, logged or not, a copy kept
//   repair   a change cut short, finished or rolled back by a later one, from the journal
//   outside  the list found other than the last change installed it: changed outside the tool
//   logged   a line that could not be sent when it was due reached the system log later
//   state    what a journal carried over from the one before it, when it was rotated
// Everything here is pure: lines in, entries out, and entries to lines.
#ifndef TOLVANE_LIST_CONTENT_JOURNAL_H
#define TOLVANE_LIST_CONTENT_JOURNAL_H

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "content/report.h"
#include "content/table-diff.h"

namespace tl {

// The version of the format this tool writes and reads.
constexpr int kJournalVersion = 1;

// Who made a change: the account that ran the tool, and the user behind sudo, if any.
struct ChangeBy {
  std::string account;
  uid_t uid = 0;
  std::string sudoUser;  // "" when not through sudo
  uid_t sudoUid = 0;
  // "root", or "root for alice (sudo)"
  std::string shown() const;
};

// A record as the journal keeps it: a long comment cut (`cut` bytes left out).
struct KeptRecord {
  int slot = 0;
  int line = 0;
  Tolvane rec{};
  std::string comment;
  size_t cut = 0;
};

// A change of the table as the journal keeps it.
struct KeptChange {
  enum Kind { Added, Removed, Moved } kind = Added;
  KeptRecord record;  // the record; Moved: where it is now
  int wasLine = 0;    // Moved: where it was
  int wasSlot = 0;
};

// The line a change sends to the system log, in two parts, so that a line sent late can say so
// between them.
struct LogLine {
  std::string head;  // "\"LIST\": VERB by WHO"
  std::string what;  // "installed: + line 20 ..."
};

// A copy the tool made for the operator: beside the list (in its folder) or in a delegate's
// private folder.
struct CopyKept {
  std::string path;
  uid_t owner = 0;
  bool beside = true;  // in the list's own folder, named `name` there
  std::string name;
};

struct JournalEntry {
  enum Kind { Start, Install, End, Repair, Outside, Logged, State } kind = Start;
  std::string id;  // the change's (Start, Install, End, Repair, Logged); the outside change's
  time_t at = 0;
  // Start, Install
  std::string verb;
  ChangeBy by;
  std::string list;  // the list's path, links resolved
  std::string read;  // the digest of the list read ("" when there was none)
  CopyKept copy;     // Start: the operator's copy (an empty path for none)
  // Install
  std::string install;              // the digest of the list it installs
  std::string previous;             // the digest of FILE- when it began ("" when none)
  std::vector<std::string> files;   // the new version's name, then FILE-'s (in the folder)
  LogLine line;                     // End, Repair, Outside too: the line it sends
  std::vector<KeptChange> changes;  // Outside too
  std::vector<KeptRecord> table;    // Outside too: the table now
  std::string despite;              // installed despite this ("1 new error")
  // End: "installed", "unchanged", "refused", "trouble"; Repair: "completed", "rolled-back",
  // "unknown"
  std::string result;
  std::string why;        // End: the refusal's or trouble's message; Repair: what was found
  bool logged = true;     // End, Repair, Outside: its line reached the system log
  std::string notLogged;  // why not
  CopyKept kept;          // End, Repair: a copy kept for the operator
  std::string writer;     // Repair, Outside, Logged: the id of the change that wrote it
  // Outside
  std::string before, after;  // the digest of what the last change installed, and of the list
  // State: what the journal before held that still counts
  std::vector<JournalEntry> carried;
};

// A journal that cannot be read as the tool writes it.
struct JournalDamage {
  int line = 0;  // the line (1 on), 0 for the whole file
  std::string message;
};

// The entries of a journal's lines (each without its newline), in order; false with `damage`
// when a line is not an entry of this format (a newer version's included).
bool parseJournal(const std::vector<std::string> &lines, std::vector<JournalEntry> &out,
                  JournalDamage &damage);

// The entry as one line of the journal (without its newline).
std::string journalLine(const JournalEntry &e);

// A new change's id: its time, then six letters or digits: 20261211T054538Z-Ab3dEf.
std::string changeId(time_t at, const std::string &letters);

// A time as the journal and the log write it, in UTC: 2026-12-11T05:45:38Z; and back (-1 when
// the text is not one).
std::string utcTime(time_t t);
time_t parseUtcTime(const std::string &text);

// A record as the journal writes it: {"slot", "line", "rSeed", "pSeed", "ipMin", "ipMax",
// "comment"}, and "cut" when the comment was cut.
nlohmann::json keptRecordJson(const KeptRecord &k);

// What the journal keeps of a record, of a table, and of the changes between two tables.
KeptRecord keptRecord(const Loaded &l);
std::vector<KeptRecord> keptTable(const Report &r);
std::vector<KeptChange> keptChanges(const std::vector<TableChange> &changes);

// The report of a table the journal kept, as a list's report holds its records (to compare it
// with a list's).
Report tableReport(const std::string &file, const std::vector<KeptRecord> &table);

}  // namespace tl

#endif
