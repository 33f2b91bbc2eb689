// A change of a live list, as the established editors of privileged files make one, read top
// to bottom in Change::run: judge the path, lock the list, put right what an install cut short
// left, read the list, make the change on a copy, check the copy, confirm what needs
// confirming, install it, report, and put it on record in the system log. Every step returns an
// Outcome; the change alone says it: a refusal is `FILE: error: ... [code]` on standard error
// with exit status 1, trouble (a step that failed) `tolvane-list: ...` with 2, and with --json
// one document on standard output either way. The operator's work is never thrown away: a copy
// that is not installed is kept and named.
//
// This is the one place where the two wings meet: what the plug-in makes of the bytes
// (content/) and every system call on the live list (files/).
#ifndef TOLVANE_LIST_CHANGE_H
#define TOLVANE_LIST_CHANGE_H

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "content/report.h"
#include "content/table-diff.h"
#include "files/accounts.h"
#include "files/guard.h"
#include "files/leftovers.h"
#include "files/list-file.h"
#include "files/lock.h"
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

// The list as a change read it, for a step to change.
struct ListAsRead {
  const ListPlace &place;    // where it lives, its folder open
  const std::string &bytes;  // what it holds ("" for a list that does not exist yet)
  const Report &report;      // what the plug-in makes of them
  const Invoker &invoker;    // who makes the change
};

// What a subcommand does to the list.
class ChangeStep {
 public:
  virtual ~ChangeStep() = default;
  // "add", "remove", "edit": for messages and the log.
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
  // Once the new list is made and checked: whether it does all that was asked (a revocation may
  // leave whom it names recognised by another line). Refused with what is left undone;
  // `installing` is false for a dry run, which leaves the list as it is.
  virtual Outcome verify(const Report & /*after*/, bool /*installing*/) { return done(); }
  // What a refusal names beyond its message, as members of the JSON document (null for none).
  virtual nlohmann::json details() const;
  // Whether, at a terminal, the operator is shown what changes and asked to confirm it before
  // the install (a whole list put in place, as undo puts one).
  virtual bool asksFirst() const { return false; }
  // Keeps the operator's work when it is not installed; returns where it lies ("" for none, or
  // when the step has named it already).
  virtual std::string keepWork() { return ""; }
};

// What an install cut short left beside the list, as check and the next change name it.
std::string describeLeftover(const Leftover &l, const ListPlace &place);

class Change {
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
  // Puts right what an install cut short left beside the list, on record.
  Outcome repair();
  Outcome read();
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
  // Installs, reports and logs; the outcome is what the install came to.
  Outcome install(const std::string &after, const Report &next);
  // Says how the change ended, once: on standard error, in the log, as JSON.
  int finish(const Outcome &o);
  int unchanged(const std::string &note);
  // What changed; once installed, with the previous version named when it was kept, and with
  // the `trouble` of a step after the install (in the one JSON document).
  void report(const Report &next, bool installed, bool previousKept, const std::string &trouble);
  // One line in the system log about the list, named `list` there (quoted), `what` made of the
  // tool's own words and text already escaped for the log; when it cannot be sent, said once.
  void log(const std::string &list, const std::string &what);
  // What a JSON document carries besides its verdict: what was put right, and why the change
  // is not on record.
  void annotate(nlohmann::json &doc) const;

  ChangeOptions o_;
  ChangeStep *step_ = nullptr;
  Invoker invoker_;
  ListPlace place_;
  ListLock lock_;
  OpenList list_;  // the list as read (when it exists)
  Report before_;
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
