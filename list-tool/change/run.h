// The change itself, behind the contract of change/change.h: one object from the judgement of the
// path to what the change says, holding the list's place (its folder open), its lock, the list
// as read, its journal and the system log's socket. Its steps are in run.cpp (the change, read
// top to bottom) and record.cpp (what it puts in the journal and the system log). Internal to
// change/.
#ifndef TOLVANE_LIST_CHANGE_RUN_H
#define TOLVANE_LIST_CHANGE_RUN_H

#include <string>
#include <vector>

#include "change/change.h"
#include "content/journal-state.h"
#include "content/report.h"
#include "content/voice.h"
#include "files/accounts.h"
#include "files/guard.h"
#include "files/journal-file.h"
#include "files/list-file.h"
#include "files/lock.h"
#include "files/system-log.h"
#include "outcome.h"

namespace tl {

// The accounts trusted with a list: root, the caller, and the account of `as`; a usage error
// when `as` names no account.
Outcome trustedWith(const std::string &as, Trusted &out);

// What an edit does besides what every step does: it makes a copy for the operator (put in the
// journal first), lets them edit it again, and keeps it when it is not installed.
class EditingStep : public ChangeStep {
 public:
  // Whether the operator can be asked to edit the copy again.
  virtual bool editable() const { return false; }
  // Where the operator's next edit should start: the line of the first new error (0: anywhere).
  virtual void editAt(int /*line*/) {}
  // The name the new list's findings go under: the operator's copy where there is one, else
  // the list's own.
  virtual std::string newName(const std::string &file) const { return file; }
  // Keeps the operator's work when it is not installed; returns where it lies ("" for none, or
  // when the step has named it already), and whether it is kept in `kept`.
  virtual std::string keepWork(bool &kept) {
    kept = false;
    return "";
  }
};

// Where an edit's copy for the operator will be, to be put in the journal before it is made.
class CopyRecord {
 public:
  virtual ~CopyRecord() = default;
  // Puts the copy in the journal: at `path`, of `owner`; beside the list as `name` there, or in
  // a delegate's private folder.
  virtual Outcome beforeCopy(const std::string &path, uid_t owner, bool beside,
                             const std::string &name) = 0;
};

class Change : private CopyRecord, private ListFiles {
 public:
  Change(ChangeOptions options, Voice &voice);
  // Makes the change of `step` (a plain step, or an edit's); returns the exit status.
  int run(ChangeStep &step, EditingStep *editing = nullptr);
  // Where an edit's step puts its copy on record, and what it reads the list's place with.
  CopyRecord &record() { return *this; }
  const ListPlace &place() const { return place_; }
  const Invoker &invoker() const { return invoker_; }

 private:
  // Judges how the list is guarded, its journal and what its name names, as check judges them;
  // warnings already `said` are not said again.
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
  // Whether the system log can take this change's line: a change through sudo is refused when
  // it cannot ("not-on-record"), and root's is made all the same.
  Outcome reachLog();
  // Puts the change in the journal, installs it, puts it on record and says it; the outcome is
  // what the install came to.
  Outcome install(const std::string &after, const Report &next);
  // Says how the change ended, once; its end in the journal.
  int finish(const Outcome &o);
  int unchanged(const std::string &note);
  // What changed; once installed, with the previous version named when it was kept.
  void report(const Report &next, bool installed, bool previousKept);
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
  // The facts every change's document carries: whether it changed and installed the list.
  void facts(bool changed, bool installed);
  Outcome beforeCopy(const std::string &path, uid_t owner, bool beside,
                     const std::string &name) override;
  Outcome previousVersion(std::string &bytes) override;

  ChangeOptions o_;
  Voice &voice_;
  Trusted trusted_;
  ChangeStep *step_ = nullptr;
  EditingStep *editing_ = nullptr;  // the step, when it is an edit's
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
  bool installed_ = false;       // the list is in place, and the change said so
  bool changesShown_ = false;    // what changes was shown for the operator to confirm
  std::string notLogged_;        // why a line could not be put in the system log
  std::string despite_;          // what the operator installed anyway ("" for nothing)
  Outcome afterwards_ = done();  // what the step left undone, said after the change
};

}  // namespace tl

#endif
