// A change of a live list, as the established editors of privileged files make one, read top
// to bottom in Change::run: judge the path, lock the list, read it, make the change on a copy,
// check the copy, confirm what needs confirming, install it by rename, report. Every refusal is
// `FILE: error: ... [code]` on standard error with exit status 1; trouble (a step that failed)
// exits with 2. The operator's work is never thrown away: a copy that is not installed is kept
// and named.
#ifndef TOLVANE_LIST_CHANGE_H
#define TOLVANE_LIST_CHANGE_H

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "guard.h"
#include "invoker.h"
#include "judge-content.h"
#include "list-lock.h"
#include "table-diff.h"
#include "trusted.h"

namespace tl {

struct ChangeOptions {
  std::string file;         // the list, as given
  bool dryRun = false;      // show what would change; take no lock, write nothing
  bool create = false;      // make the list when it does not exist
  bool breakLinks = false;  // install over a list that has other names (hard links)
  bool allowEmpty = false;  // install a list that gives no record
  bool json = false;        // the result as JSON on standard output
  double wait = -1;         // seconds to wait for the lock; < 0 not at all, 0 as long as it takes
  std::string as;           // the server's account, trusted with the list
};

// What a step made of the list.
struct StepResult {
  enum Made { Changed, Unchanged, Refused, Stopped } made = Changed;
  std::string code;     // Refused: the refusal's code
  std::string message;  // Refused: the refusal; Unchanged: why nothing changes ("" for none)
  int status = 1;       // Stopped: the exit status (the step has said why)
};

// What a subcommand does to the list.
class ChangeStep {
 public:
  virtual ~ChangeStep() = default;
  // "add", "remove", "edit": for messages and the log.
  virtual const char *verb() const = 0;
  // Makes the new list from the old one, the list at `place` (its folder open).
  virtual StepResult make(const ListPlace &place, const Report &before, const std::string &old,
                          std::string &after) = 0;
  // Whether the operator can be asked to edit the copy again.
  virtual bool editable() const { return false; }
  // Keeps the operator's work when it is not installed; returns where it lies ("" for none).
  virtual std::string keepWork() { return ""; }
};

class Change {
 public:
  explicit Change(ChangeOptions options);
  int run(ChangeStep &step);

 private:
  // Judges how the list is guarded and what its name names; warnings already `said` are not
  // said again.
  bool judge(int &status, const std::vector<std::string> &said = {});
  // Judges the list again, under the lock, when another change replaced it meanwhile.
  bool judgeAgain(int &status);
  bool lock(int &status);
  bool read(int &status);
  bool check(const Report &after, bool &editAgain, int &status);
  bool confirm(const Report &after, bool &editAgain, int &status);
  int install(const std::string &after, const Report &next);
  int refuse(const std::string &code, const std::string &message);
  int trouble(const std::string &message);
  int unchanged(const std::string &note);
  // The JSON result of a change that installed nothing, with `why` ("refused", "trouble",
  // "note") saying what.
  void printNothingInstalled(const char *why, const nlohmann::json &what) const;
  void keepWork();
  // What changed; once installed, with the previous version named when it was kept, and with
  // the `trouble` of a step after the install (in the one JSON document).
  void report(const Report &next, bool installed, bool previousKept = true,
              const std::string &trouble = "");

  ChangeOptions o_;
  ChangeStep *step_ = nullptr;
  Trusted trusted_;
  Invoker invoker_;
  ListPlace place_;
  ListLock lock_;
  UniqueFd list_;  // the list as read (when it exists)
  struct stat listSt_ {};
  std::string old_;  // its bytes
  Report before_;
  bool terminal_ = false;
};

}  // namespace tl

#endif
