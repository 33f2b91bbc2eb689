// The contract between the subcommands and the files: the one header through which commands/
// and cli reach anything that lies on disk. Behind it, change/ joins the two wings: what the
// plug-in makes of a list's bytes (content/) and every system call on the live list (files/).
// Nothing here names a type of files/: a subcommand states what it wants (a change to make, a
// list to read or judge) in plain words and content/'s types, and says what comes back through
// its Voice.
//
// A change of a live list is made as the established editors of privileged files make one, read
// top to bottom in change/run.cpp: judge the path, lock the list, read it and its journal, put
// right a change that was cut short, put on record an outside change and the lines still due to
// the system log, make the change on a copy, check the copy, confirm what needs confirming, put
// the change in the journal, install it, put it on record in the system log, and say it. Every
// change is on record, or not made: a change made through sudo is not made when no system log can
// take its line; root's is made, said to be unlogged, and put on record late by the next change
// that can log. The operator's work is never thrown away: a copy that is not installed is kept,
// named, and in the journal.
#ifndef TOLVANE_LIST_CHANGE_CHANGE_H
#define TOLVANE_LIST_CHANGE_CHANGE_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "content/journal-state.h"
#include "content/report.h"
#include "content/table-diff.h"
#include "content/voice.h"
#include "outcome.h"

namespace tl {

struct ChangeOptions {
  std::string file;         // the list, as given
  bool dryRun = false;      // show what would change; take no lock, write nothing
  bool create = false;      // make the list when it does not exist
  bool creates = false;     // the subcommand takes --create (a missing list's refusal says so)
  bool breakLinks = false;  // install over a list that has other names (hard links)
  bool allowEmpty = false;  // install a list that gives no record
  double wait = -1;         // seconds to wait for the lock; < 0 not at all, 0 as long as it takes
  std::string waitGiven;    // --wait as given: "" none, "true" bare, else its =SECONDS
  std::string as;           // the server's account, trusted with the list (--as), as given
};

// What a step may read beside the list, through the change.
class ListFiles {
 public:
  virtual ~ListFiles() = default;
  // The list's previous version, NAME-, when it is one a change could have kept: refused
  // ("no-previous", "previous-owner", "previous-kind") otherwise.
  virtual Outcome previousVersion(std::string &bytes) = 0;
};

// The list as a change read it, for a step to change.
struct ListAsRead {
  const std::string &file;      // as given
  const std::string &kept;      // the path of its previous version, NAME-, for messages
  const std::string &bytes;     // what it holds ("" for a list that does not exist yet)
  const Report &report;         // what the plug-in makes of them
  const JournalState &journal;  // what its journal says of its changes
  const std::vector<JournalEntry> &entries;  // and the journal's entries
  bool terminal;                             // the operator can be asked
  ListFiles &files;
};

// What a subcommand does to the list.
class ChangeStep {
 public:
  virtual ~ChangeStep() = default;
  // "add", "remove", "undo": for messages, the log and the journal.
  virtual const char *verb() const = 0;
  // Whether the step can be made at all, before the list is touched (the values it was given).
  virtual Outcome ready() const { return done(); }
  // Makes the new list from the one read into `after`. Done with `after` the same as the list
  // changes nothing (its note says why, when it is not plain).
  virtual Outcome make(const ListAsRead &list, std::string &after) = 0;
  // Whether the new list changes the table only as the step names: refused, naming what else
  // it would change (a record a removal would bring in), before anything is checked or written.
  virtual Outcome admits(const std::vector<TableChange> & /*changes*/) const { return done(); }
  // What the step says of the list besides the change, the same words whether or not it changed
  // anything: notes, said after the change.
  struct Remark {
    std::string code, message;
  };
  virtual std::vector<Remark> remarks() const { return {}; }
  // Once the new list is made and checked: whether it does all that was asked (a revocation may
  // leave whom it names recognised by another line). Refused with what is left undone;
  // `installing` is false for a dry run, which leaves the list as it is.
  virtual Outcome verify(const Report & /*after*/, bool /*installing*/) { return done(); }
  // What a refusal names beyond its message, as members of the JSON document (null for none);
  // their text is the refusal's own words.
  virtual nlohmann::json details() const { return nullptr; }
  // Whether, at a terminal, the operator is shown what changes and asked to confirm it before
  // the install (a whole list put in place, as undo puts one).
  virtual bool asksFirst() const { return false; }
  // What the operator is warned of before that question ("" for nothing).
  virtual std::string caution() const { return ""; }
};

// Settles a change's options once parsed: the list's default, --wait's seconds, the account of
// --as; a usage error when they cannot be.
Outcome settleChange(ChangeOptions &o);

// Makes the change `step` names, saying it through `voice`; returns the exit status.
int runChange(const ChangeOptions &o, ChangeStep &step, Voice &voice);

// An edit of the list: the operator's editor on a copy (through sudo, as the user behind it, on
// a copy of theirs), checked and installed as every change is.
int runEdit(const ChangeOptions &o, Voice &voice);

// Whether `as` names an account (a name or an id): a usage error when it does not ("" names
// none, and is fine).
Outcome accountNamed(const std::string &as);

// A list as check reads and judges it: its bytes, read as the plug-in reads them (through the
// folder its path was judged by), and what is found about it as a whole, as a change judges it
// (how it is guarded, its journal and what lies beside it, whether the account of `as` can
// read it, the file system it lies on); with `contentOnly`, or for "-" (standard input), only
// its bytes. `read` is trouble ("cannot-read") when they cannot be read.
struct JudgedList {
  Outcome read = done();
  std::string bytes;
  std::vector<Finding> about;
};
JudgedList judgeForCheck(const std::string &file, const std::string &as, bool contentOnly);

// A list read as the plug-in reads it, following links: trouble ("cannot-read") when it cannot
// be, or names what the plug-in never reads.
Outcome readList(const std::string &path, std::string &bytes);

// A file whose name ends in '-', as a previous version's does, that no change could have kept:
// a warning of it ("previous-owner", "previous-kind"), else none.
std::vector<Finding> notAPreviousVersion(const std::string &path);

// A list's journal, read for history.
struct JournalRead {
  bool listThere = false;
  std::string bytes;
  bool journalThere = false;
  std::string journalPath;
  std::vector<JournalEntry> entries;  // the rotated journal's first
};
// Refused when the journal is planted or damaged, trouble when it cannot be read.
Outcome readJournalOf(const std::string &file, const std::string &as, JournalRead &out);

}  // namespace tl

#endif
