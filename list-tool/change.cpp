#include "change.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "audit-log.h"
#include "exit-status.h"
#include "file-attributes.h"
#include "list-install.h"
#include "paths.h"
#include "read-list.h"
#include "report.h"
#include "safe-text.h"
#include "signals.h"

namespace tl {
namespace {

// The key that says an error of the new list was already in the old one: its code and line.
std::string errorKey(const Finding &f) {
  return f.code + "\n" + (f.line == 0 ? f.message : f.source);
}

// What the operator answers at the terminal: the first letter of a line among `choices`, or
// `otherwise` at the end of input.
char ask(const std::string &question, const std::string &choices, char otherwise) {
  std::fflush(stdout);
  for (;;) {
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    char buf[64];
    if (std::fgets(buf, sizeof buf, stdin) == nullptr) return otherwise;
    if (buf[0] != '\0' && choices.find(buf[0]) != std::string::npos) return buf[0];
  }
}

}  // namespace

Change::Change(ChangeOptions options) : o_(std::move(options)) {
  invoker_ = whoInvokes();
  terminal_ = isatty(STDIN_FILENO) != 0 && !o_.json;
}

int Change::run(ChangeStep &step) {
  step_ = &step;
  int status = kClean;
  // Judge: who can change or replace the list, and what its name names. Nothing is written,
  // not even the lock, in a place others could turn against the change.
  if (!judge(status)) return status;
  // Lock: one change of the list at a time. A dry run writes nothing, and takes no lock.
  if (!o_.dryRun && !lock(status)) return status;
  // Another change may have replaced the list while the lock was awaited (--wait): the list
  // read must be the list judged.
  if (!o_.dryRun && !judgeAgain(status)) return status;
  // Read: the list through its folder's descriptor, kept open to install over only that file.
  if (!read(status)) return status;
  // Change the copy, check it and confirm what needs it; at a terminal the operator may edit
  // the copy again.
  std::string after;
  Report next;
  for (;;) {
    const StepResult made = step.make(place_, before_, old_, after);
    if (made.made == StepResult::Stopped) return made.status;
    if (made.made == StepResult::Refused) {
      status = refuse(made.code, made.message);
      keepWork();
      return status;
    }
    if (made.made == StepResult::Unchanged || after == old_) return unchanged(made.message);
    next = checkList(o_.file, after);
    bool again = false;
    if (!check(next, again, status) || !confirm(next, again, status)) {
      if (again) continue;
      return status;
    }
    break;
  }
  if (o_.dryRun) {
    report(next, false);
    return kClean;
  }
  // Install: renamed over the list, the previous version kept beside it; then report.
  return install(after, next);
}

bool Change::judge(int &status, const std::vector<std::string> &said) {
  if (!o_.as.empty()) {
    Account a;
    if (findAccount(o_.as, a)) trusted_.trust(a);
  }
  place_ = walkList(o_.file, trusted_);
  // A guard error met before the walk failed comes first: whoever can write that folder can
  // also make the rest of the path fail, and so hide why the change must not be made there.
  const GuardFinding *last = nullptr;
  for (const GuardFinding &g : place_.findings) {
    if (!g.error) continue;
    if (last != nullptr)
      printLine(stderr, o_.file + ": error: " + last->message + " [" + last->code + "]");
    last = &g;
  }
  if (last != nullptr) {
    status = refuse(last->code, last->message);
    return false;
  }
  if (!place_.trouble.empty()) {
    status = trouble(place_.trouble);
    return false;
  }
  if (!o_.json) {
    for (const GuardFinding &g : place_.findings) {
      if (std::find(said.begin(), said.end(), g.message) == said.end())
        printLine(stdout, o_.file + ": warning: " + g.message + " [" + g.code + "]");
    }
  }
  if (!place_.exists) {
    if (!place_.danglingTarget.empty()) {
      status =
          refuse("dangling-link",
                 "the list is a symbolic link to " + place_.danglingTarget +
                     ", which does not exist: mend the link, or name the list by its real path");
      return false;
    }
    if (!o_.create) {
      status = refuse(
          "no-list", "there is no list " + o_.file + " (a typo?): give --create to make a new one");
      return false;
    }
    return true;
  }
  if (!S_ISREG(place_.st.st_mode)) {
    status = refuse("not-regular", std::string("the list is ") + kindOf(place_.st.st_mode) +
                                       ", not a list file: the plug-in reads only a regular file");
    return false;
  }
  if (place_.st.st_nlink > 1 && !o_.breakLinks) {
    status = refuse("hard-links",
                    "the list has " + std::to_string(place_.st.st_nlink) +
                        " names (hard links): a new version would leave the other names with the "
                        "old table; remove them, or give --break-links");
    return false;
  }
  return true;
}

bool Change::judgeAgain(int &status) {
  struct stat now {};
  const bool there = fstatat(place_.dir.get(), place_.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
  if (there == place_.exists &&
      (!there || (now.st_dev == place_.st.st_dev && now.st_ino == place_.st.st_ino)))
    return true;
  struct stat locked {
  }, folder{};
  if (fstat(place_.dir.get(), &locked) != 0) {
    status = trouble(std::string("cannot examine the list's folder: ") + std::strerror(errno));
    return false;
  }
  std::vector<std::string> said;
  for (const GuardFinding &g : place_.findings) said.push_back(g.message);
  if (!judge(status, said)) return false;
  if (fstat(place_.dir.get(), &folder) != 0 || folder.st_dev != locked.st_dev ||
      folder.st_ino != locked.st_ino) {
    status = refuse("changed-meanwhile",
                    "the list moved to another folder while its lock was awaited: nothing "
                    "written; try again");
    return false;
  }
  return true;
}

bool Change::lock(int &status) {
  std::string err;
  // At a terminal a change that waits for another says so, rather than stand silent.
  const auto waiting = [](const std::string &what) {
    if (isatty(STDERR_FILENO) != 0) printLine(stderr, "tolvane-list: " + what);
  };
  switch (lock_.acquire(place_.dir.get(), place_.folder, place_.name, trusted_, o_.wait, err,
                        waiting)) {
    case ListLock::Taken:
      return true;
    case ListLock::Refused:
      status = refuse("lock-file", err);
      return false;
    case ListLock::Busy:
    case ListLock::Failed:
      break;
  }
  status = trouble(err);
  return false;
}

bool Change::read(int &status) {
  if (!place_.exists) {
    old_.clear();
    before_ = checkList(o_.file, old_);
    return true;
  }
  std::string err;
  if (!openListIn(place_.dir.get(), place_.name, o_.file, list_, listSt_, err) ||
      !readOpenList(list_.get(), o_.file, old_, err)) {
    status = trouble(err);
    return false;
  }
  if (listSt_.st_ino != place_.st.st_ino || listSt_.st_dev != place_.st.st_dev) {
    status = refuse("changed-meanwhile",
                    "the list was replaced while it was judged: nothing written; try again");
    return false;
  }
  if (old_.size() > TV_READ_LIMIT) {
    status = refuse("too-long", "the list is longer than the " + std::to_string(TV_READ_LIMIT) +
                                    " bytes the plug-in reads: mend it by hand");
    return false;
  }
  before_ = checkList(o_.file, old_);
  return true;
}

bool Change::check(const Report &after, bool &editAgain, int &status) {
  std::vector<std::string> old;
  for (const Finding &f : before_.findings) {
    if (f.severity == Severity::Error) old.push_back(errorKey(f));
  }
  int added = 0, kept = 0;
  for (const Finding &f : after.findings) {
    bool already = false;
    if (f.severity == Severity::Error) {
      for (std::string &k : old) {
        if (k == errorKey(f)) {
          already = true;
          k.clear();  // each old error excuses one new one
          break;
        }
      }
      ++(already ? kept : added);
    }
    if (o_.json) continue;
    printFinding(stdout, after.file, f);
    if (already)
      printLine(stdout, after.file + ":" + std::to_string(f.line) +
                            ": note: already an error before this change");
  }
  const bool past = after.ignoredTotal > before_.ignoredTotal;
  if (added == 0 && !past) return true;
  std::string why;
  if (added > 0) {
    why = "the new list has " + std::to_string(added) + " error" + (added == 1 ? "" : "s") +
          " that the list does not have";
  } else {
    why = "the new list has " + std::to_string(after.ignoredTotal) +
          " record(s) past the 32nd, which the plug-in never reads (the list has " +
          std::to_string(before_.ignoredTotal) + ")";
  }
  if (step_->editable() && terminal_) {
    const char c = ask(o_.file + ": " + why +
                           ". What now? (e) edit again, (x) leave the list as it was, (i) "
                           "install anyway: ",
                       "exi", 'x');
    if (c == 'i') return true;
    if (c == 'e') {
      editAgain = true;
      return false;
    }
    status = refuse(added > 0 ? "new-errors" : "past-32nd", why + ": left as it was");
    keepWork();
    return false;
  }
  status = refuse(added > 0 ? "new-errors" : "past-32nd", why + ": nothing written");
  keepWork();
  return false;
}

bool Change::confirm(const Report &after, bool &editAgain, int &status) {
  if (!after.records.empty() || before_.records.empty() || o_.allowEmpty) return true;
  const std::string why = "the new list gives no record: the plug-in will recognise nobody";
  if (terminal_) {
    const bool edit = step_->editable();
    const char c = ask(o_.file + ": " + why + ". Install it? (y) yes, " +
                           (edit ? "(e) edit again, " : "") + "(n) no: ",
                       edit ? "yne" : "yn", 'n');
    if (c == 'y') return true;
    if (c == 'e') {
      editAgain = true;
      return false;
    }
  }
  status = refuse("no-records", why + " (give --allow-empty to install it anyway)");
  keepWork();
  return false;
}

int Change::install(const std::string &after, const Report &next) {
  blockEndingSignals();
  Attributes attrs = newListAttributes();
  std::string err;
  if (list_.valid() && !attributesOf(list_.get(), attrs, err)) {
    unblockEndingSignals();
    keepWork();
    return refuse("attributes", err);
  }
  const ReadList read{place_.dir.get(), place_.folder, place_.name, place_.exists,
                      list_.get(),      listSt_,       &old_};
  const Installed done = installList(read, after, attrs, place_.exists, err);
  int status = kClean;
  switch (done) {
    case Installed::Done:
      report(next, true);
      break;
    case Installed::NotDurable:
    case Installed::PreviousLost:
      // Installed all the same: the one report says so, with what went wrong after.
      report(next, true, done != Installed::PreviousLost, err);
      printLine(stderr, "tolvane-list: " + err);
      status = kTrouble;
      break;
    case Installed::ChangedMeanwhile:
      status = refuse("changed-meanwhile",
                      "the list changed since it was read (another program wrote it): nothing "
                      "written; look at it and make the change again");
      keepWork();
      break;
    case Installed::AttributesLost:
      status = refuse("attributes", err + ": nothing written");
      keepWork();
      break;
    case Installed::Failed:
      status = trouble("cannot install " + o_.file + ": " + err + "; the list is unchanged");
      keepWork();
      break;
  }
  std::fflush(nullptr);
  // An ending signal that came meanwhile ends the tool now, with the edit kept and named; but
  // once the list is installed there is nothing left to stop, and the tool ends as the change
  // did (the signal is never let through to say the list is unchanged).
  if (done != Installed::Done && done != Installed::NotDurable && done != Installed::PreviousLost)
    unblockEndingSignals();
  return status;
}

void Change::report(const Report &next, bool installed, bool previousKept,
                    const std::string &trouble) {
  const std::vector<TableChange> changes = compareTables(before_, next);
  if (installed) logInstalled(invoker_, step_->verb(), place_.live(), changes);
  if (o_.json) {
    nlohmann::json doc = changeJson(before_, next, changes);
    doc["file"] = o_.file;
    doc["changed"] = true;
    doc["installed"] = installed;
    doc["dryRun"] = o_.dryRun;
    if (!trouble.empty()) doc["trouble"] = trouble;
    printJsonDocument(stdout, doc);
    return;
  }
  printChanges(stdout, before_, next, o_.file + " (before)", o_.file);
  if (o_.dryRun) {
    printLine(stdout, o_.file + ": dry run: would change; nothing written");
  } else if (installed) {
    const std::string kept = place_.links.empty() ? o_.file + "-" : place_.live() + "-";
    printLine(stdout,
              o_.file + ": changed: installed" +
                  (place_.exists && previousKept ? " (the previous version is " + kept + ")" : ""));
  }
}

int Change::refuse(const std::string &code, const std::string &message) {
  printLine(stderr, o_.file + ": error: " + message + " [" + code + "]");
  if (!o_.dryRun && step_ != nullptr)
    logRefused(invoker_, step_->verb(), place_.exists ? place_.live() : o_.file, code, message);
  if (o_.json) printNothingInstalled("refused", {{"code", code}, {"message", message}});
  return kFindings;
}

void Change::printNothingInstalled(const char *why, const nlohmann::json &what) const {
  printJsonDocument(stdout, {{"file", o_.file},
                             {"changed", false},
                             {"installed", false},
                             {"dryRun", o_.dryRun},
                             {why, what}});
}

int Change::trouble(const std::string &message) {
  printLine(stderr, "tolvane-list: " + message);
  if (o_.json) printNothingInstalled("trouble", message);
  return kTrouble;
}

int Change::unchanged(const std::string &note) {
  if (o_.json) {
    printNothingInstalled("note", note);
  } else {
    printLine(stdout,
              o_.file + ": unchanged: " + (note.empty() ? "" : note + "; ") + "nothing written");
  }
  return kClean;
}

void Change::keepWork() {
  const std::string where = step_->keepWork();
  if (!where.empty()) printLine(stderr, o_.file + ": your edit is in " + where);
}

}  // namespace tl
