// A change of a live list, as the established editors of privileged files make one, read top
// to bottom in Change::run: judge the path, lock the list, read it and its journal, put right a
// change that was cut short (from what its journal entries say), put on record an outside change
// and the lines still due to the system log, make the change on a copy, check the copy, confirm
// what needs confirming, put the change in the journal, install it, put it on record in the
// system log, and report. Every step returns an Outcome; the change alone says it: a refusal is
// `FILE: error: ... [code]` on standard error with exit status 1, trouble (a step that failed)
// `tolvane-list: ...` with 2, and with --json one document on standard output either way. The
// operator's work is never thrown away: a copy that is not installed is kept and named, and the
// journal names it.
//
// Every change is on record, or not made: the journal holds each change before it acts, and its
// end once it is over; the system log holds its line. A change made through sudo is not made
// when no system log can take its line; root's change is made, said to be unlogged, and put on
// record late by the next change that can log.
//
// This is the one place where the two wings meet: what the plug-in makes of the bytes
// (content/) and every system call on the live list (files/).
#ifndef TOLVANE_LIST_CHANGE_H
#define TOLVANE_LIST_CHANGE_H

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "content/journal-state.h"
#include "content/report.h"
#include "content/table-diff.h"
#include "files/accounts.h"
#include "files/guard.h"
#include "files/journal-file.h"
#include "files/list-file.h"
#include "files/lock.h"
#include "files/system-log.h"
#include "outcome.h"

namespace tl {

struct ChangeOptions {
  std::string file;         // the list, as given
  bool dryRun = false;      // show what would change; take no lock, write nothing
  bool create = false;      // make the list when it does not exist
  bool creates = false;     // the subcommand takes --create (a missing list's refusal says so)
  bool breakLinks = false;  // install over a list that has other names (hard links)
  bool allowEmpty = false;  // install a list that gives no record
  bool json = false;        // the result as JSON on standard output
  double wait = -1;         // seconds to wait for the lock; < 0 not at all, 0 as long as it takes
  std::string waitGiven;    // --wait as given: "" none, "true" bare, else its =SECONDS
  std::string as;           // the server's account, as given (--as)
  Trusted trusted;          // the accounts trusted with the list, that one among them
};

// Where a step's copy for the operator will be, to be put in the journal before it is made.
class CopyRecord {
 public:
  virtual ~CopyRecord() = default;
  // Puts the copy in the journal: at `path`, of `owner`; beside the list as `name` there, or in
  // a delegate's private folder.
  virtual Outcome beforeCopy(const std::string &path, uid_t owner, bool beside,
                             const std::string &name) = 0;
};

// The list as a change read it, for a step to change.
struct ListAsRead {
  const ListPlace &place;       // where it lives, its folder open
  const std::string &bytes;     // what it holds ("" for a list that does not exist yet)
  const Report &report;         // what the plug-in makes of them
  const Invoker &invoker;       // who makes the change
  const JournalState &journal;  // what the journal says of the list's changes
  const std::vector<JournalEntry> &entries;  // its entries
  bool terminal;                             // the operator can be asked
  CopyRecord &record;  // where a step puts its copy on record before making it
};

// What a subcommand does to the list.
class ChangeStep {
 public:
  virtual ~ChangeStep() = default;
  // "add", "remove", "edit": for messages, the log and the journal.
  virtual const char *verb() const = 0;
  // Whether the step can be made at all, before the list is touched (the values it was given).
  virtual Outcome ready() const { return done(); }
  // Makes the new list from the one read into `after`. Done with `after` the same as the list
  // changes nothing (its note says why, when it is not plain).
  virtual Outcome make(const ListAsRead &list, std::string &after) = 0;
  // Whether the operator can be asked to edit the copy again.
  virtual bool editable() const { return false; }
  // Where the operator's next edit should start: the line of the first new error (0: anywhere).
  virtual void editAt(int /*line*/) {}
  // The name the new list's findings go under: the operator's copy where there is one, else
  // the list's own.
  virtual std::string newName(const std::string &file) const { return file; }
  // Whether the new list changes the table only as the step names: refused, naming what else
  // it would change (a record a removal would bring in), before anything is checked or written.
  virtual Outcome admits(const std::vector<TableChange> & /*changes*/) const { return done(); }
  // What the step says of the list besides the change, the same words whether or not it changed
  // anything: each a code and a message, said as notes after the change.
  struct Remark {
    std::string code, message;
  };
  virtual std::vector<Remark> remarks() const { return {}; }
  // Once the new list is made and checked: whether it does all that was asked (a revocation may
  // leave whom it names recognised by another line). Refused with what is left undone;
  // `installing` is false for a dry run, which leaves the list as it is.
  virtual Outcome verify(const Report & /*after*/, bool /*installing*/) { return done(); }
  // What a refusal names beyond its message, as members of the JSON document (null for none).
  virtual nlohmann::json details() const;
  // Whether, at a terminal, the operator is shown what changes and asked to confirm it before
  // the install (a whole list put in place, as undo puts one).
  virtual bool asksFirst() const { return false; }
  // What the operator is warned of before that question ("" for nothing).
  virtual std::string caution() const { return ""; }
  // Keeps the operator's work when it is not installed; returns where it lies ("" for none, or
  // when the step has named it already), and whether it is kept in `kept`.
  virtual std::string keepWork(bool &kept) {
    kept = false;
    return "";
  }
};

// What the list's journal and the files beside the list say, as check reports them: a journal
// that is planted or damaged (errors), a change cut short, an outside change, lines not on
// record, copies kept for operators, files of the tool's names that no change in the journal
// names, and a previous version that undo would refuse (warnings). `bytes` is the list as read
// through the walk's folder, `report` what the plug-in makes of it.
std::vector<Finding> journalFindings(const ListPlace &place, const Trusted &trusted,
                                     const std::string &bytes, const Report &report);

// A list's journal, read for a command that only reads it: the walk's place, the list as read
// through its folder, and the journal's entries (a rotated journal's first).
struct JournalRead {
  ListPlace place;
  bool listThere = false;
  std::string bytes;
  bool journalThere = false;
  std::string journalPath;
  std::vector<JournalEntry> entries;
};

// Reads the journal of the list at `file`, judged as a change judges it; refused when it is
// planted or damaged, trouble when it cannot be read.
Outcome readJournalOf(const std::string &file, const Trusted &trusted, JournalRead &out);

class Change : private CopyRecord {
 public:
  explicit Change(ChangeOptions options);
  int run(ChangeStep &step);

 private:
  // Judges how the list is guarded and what its name names; warnings already `said` are not
  // said again.
  Outcome judge(const std::vector<std::string> &said = {});
  // Judges the list again, under the lock, when another change replaced it meanwhile.
  Outcome judgeAgain();
  Outcome lock();
  Outcome read();
  // Reads the journal (judged as the list is) and what it says.
  Outcome readJournal();
  // Finishes or rolls back a change that was cut short, as its journal entries and what lies
  // beside the list say, and puts it on record under its own verb and account.
  Outcome repair();
  // A list other than the last change left it: an outside change, put in the journal and on
  // record as such, never credited to a change.
  Outcome recordOutside();
  // Sends the lines the system log could not take when they were due.
  Outcome logLate();
  // Whether the new list may be installed: no new error, nothing new past the 32nd record, and
  // a yes to a list that recognises nobody. At a terminal the operator may ask to edit again.
  Outcome check(const Report &after, bool &editAgain);
  Outcome confirm(const Report &after, bool &editAgain);
  // A change by values (add, remove) of a list the plug-in reads as one line: refused, naming
  // the line ends.
  Outcome readAsOneLine() const;
  // The operator's answer to a question; an ending signal meanwhile says the list is unchanged
  // (and where the edit is) and ends the tool.
  char ask(const std::string &question, const std::string &choices, char otherwise);
  // Connects to the system log; a change through sudo is refused when none can take its line.
  Outcome reachLog();
  // Puts the change in the journal, installs it, puts it on record and reports; the outcome is
  // what the install came to.
  Outcome install(const std::string &after, const Report &next);
  // Says how the change ended, once: on standard error, in the log, as JSON; its end in the
  // journal.
  int finish(const Outcome &o);
  int unchanged(const std::string &note);
  // What changed; once installed, with the previous version named when it was kept, and with
  // the `trouble` of a step after the install (in the one JSON document).
  void report(const Report &next, bool installed, bool previousKept, const std::string &trouble);
  // Sends a line to the system log; when it cannot be sent, says so once and returns false.
  bool log(const std::string &line);
  // Appends an entry to the journal (rotated first when it has grown), and to what it says.
  Outcome journal(const JournalEntry &e);
  // The end of the change in the journal, when it wrote a first entry and no end yet.
  void journalEnd(const std::string &result, const std::string &why, const std::string &kept);
  // A new entry of this change, of this kind.
  JournalEntry entry(JournalEntry::Kind kind) const;
  // The head of this change's lines in the log.
  std::string head() const;
  // What a JSON document carries besides its verdict: what was put right, and why the change
  // is not on record.
  void annotate(nlohmann::json &doc) const;
  Outcome beforeCopy(const std::string &path, uid_t owner, bool beside,
                     const std::string &name) override;

  ChangeOptions o_;
  ChangeStep *step_ = nullptr;
  Invoker invoker_;
  ListPlace place_;
  ListLock lock_;
  OpenList list_;  // the list as read (when it exists)
  Report before_;
  JournalFile journalFile_;
  std::vector<JournalEntry> entries_;  // the journal's entries, this change's among them
  JournalState state_;                 // what they say
  std::string id_;                     // this change's id in the journal
  time_t began_ = 0;
  bool journaled_ = false;  // this change wrote its first entry, and no end yet
  CopyKept copy_;           // the operator's copy, as put in the journal
  SystemLog systemLog_;
  bool terminal_ = false;
  bool signalsHeld_ = false;
  bool installed_ = false;             // the list is in place, and the change said so
  bool changesShown_ = false;          // what changes was shown for the operator to confirm
  std::string notLogged_;              // why a line could not be put in the system log
  std::vector<std::string> repaired_;  // what was put right before the change
  std::string despite_;                // what the operator installed anyway ("" for nothing)
  Outcome afterwards_ = done();        // what the step left undone, said after the change
};

}  // namespace tl

#endif
