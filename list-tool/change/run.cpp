// The change, read top to bottom (Change::run), and how it says what it did.
#include "change/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "change/judgement.h"
#include "content/digest.h"
#include "content/json-out.h"
#include "content/log-line.h"
#include "content/shown.h"
#include "content/text-out.h"
#include "files/attributes.h"
#include "files/beside-list.h"
#include "files/install.h"
#include "files/previous-version.h"
#include "files/signals.h"

namespace tl {
namespace {

// The key that says a finding of the new list was already in the old one: its code and line (a
// finding about the whole file, its code alone: its words may count what changed).
std::string findingKey(const Finding &f) {
  return f.code + "\n" + (f.line == 0 ? "" : f.source);
}

// The operator's answer: the first letter of a line among `choices`, or `otherwise` at the end of
// input.
char answer(const std::string &question, const std::string &choices, char otherwise) {
  std::fflush(stdout);
  for (;;) {
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    char buf[64];
    if (std::fgets(buf, sizeof buf, stdin) == nullptr) return otherwise;
    if (buf[0] != '\0' && choices.find(buf[0]) != std::string::npos) return buf[0];
  }
}

// "1 new error", "2 new errors".
std::string newErrors(int n) {
  return std::to_string(n) + " new error" + (n == 1 ? "" : "s");
}

// Room kept in a change's line for what a line sent late, or put right, says besides it.
constexpr size_t kLineRoom = 320;

// Seconds as people write them: "5", "0.3".
std::string secondsText(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return buf;
}

// Who holds a list's lock, as a refusal names them: " (process 14217 of root for alice (sudo),
// since 2026-12-10 12:42)"; "" when its file says nothing plain.
std::string shownHolder(const LockHolder &h) {
  std::string who;
  if (!h.pid.empty()) who = "process " + h.pid;
  if (!h.user.empty()) {
    who += (who.empty() ? "run by " : " of ") + h.user +
           (h.sudoUser.empty() ? "" : " for " + h.sudoUser + " (sudo)");
  }
  if (h.since != 0) who += (who.empty() ? "" : ", ") + std::string("since ") + shownTime(h.since);
  return who.empty() ? "" : " (" + who + ")";
}

}  // namespace

int runChange(const ChangeOptions &o, ChangeStep &step, Voice &voice) {
  return Change(o, voice).run(step);
}

Change::Change(ChangeOptions options, Voice &voice) : o_(std::move(options)), voice_(voice) {
  invoker_ = whoInvokes();
  terminal_ = isatty(STDIN_FILENO) != 0 && !voice.json();
  trustedWith(o_.as, trusted_);
  voice_.about(o_.file);
}

int Change::run(ChangeStep &step, EditingStep *editing) {
  step_ = &step;
  editing_ = editing;
  facts(false, false);
  // Judge: whether the step can be made, who can change or replace the list, what its name
  // names, and its journal. Nothing is written, not even the lock, in a place others could turn
  // against the change.
  Outcome o = step.ready();
  if (o.ok()) o = judge();
  if (o.ok() && !o_.dryRun) {
    // A change through sudo that no system log can take is refused before it writes anything.
    if (invoker_.delegated) o = reachLog();
    // Lock: one change of the list at a time. A dry run writes nothing, and takes no lock.
    if (o.ok()) o = lock();
    // Another change may have replaced the list while the lock was awaited (--wait): the list
    // read must be the list judged.
    if (o.ok()) o = judgeAgain();
  }
  // Read: the list through its folder's descriptor, kept open to install over only that file;
  // then its journal, judged as the list is.
  if (o.ok()) o = read();
  if (o.ok()) o = readJournal();
  // What the journal says is left to do comes first: a change cut short is finished or rolled
  // back (so that NAME- is the version just replaced once this change is made), an outside
  // change is put on record as one, and so are the lines the system log could not take.
  if (o.ok() && !o_.dryRun) o = repair();
  if (o.ok() && !o_.dryRun) o = recordOutside();
  if (o.ok() && !o_.dryRun) o = logLate();
  if (o.ok() && editing == nullptr) o = readAsOneLine();
  if (!o.ok()) return finish(o);
  // Change the copy, check it and confirm what needs it; at a terminal the operator may edit
  // the copy again.
  const std::string kept = place_.beside(place_.name + "-");
  const ListAsRead list{
      o_.file, kept, list_.bytes, before_, state_, entries_, terminal_ && !o_.dryRun, *this};
  std::string after;
  Report next;
  for (;;) {
    o = step.make(list, after);
    if (!o.ok()) return finish(o);
    if (after == list_.bytes) return unchanged(o.message);
    next = checkList(editing != nullptr ? editing->newName(o_.file) : o_.file, after);
    o = step.admits(compareTables(before_, next));
    if (!o.ok()) return finish(o);
    bool again = false;
    o = check(next, again);
    if (o.ok()) o = confirm(next, again);
    if (again) continue;
    if (!o.ok()) return finish(o);
    break;
  }
  // What the step left undone (a revocation that leaves whom it names recognised) is said with
  // the change, and ends it with status 1.
  afterwards_ = step.verify(next, !o_.dryRun);
  if (o_.dryRun) {
    report(next, false, false);
    return voice_.end(afterwards_);
  }
  // Install: put in the journal, exchanged with the list, the previous version kept beside it;
  // put on record and said.
  return finish(install(after, next));
}

Outcome Change::judge(const std::vector<std::string> &said) {
  Outcome walked = walkList(o_.file, trusted_, place_);
  // The walk's findings, as check judges them: a guard error refuses the change. One met before
  // the walk failed comes first: whoever can write that folder can also make the rest of the
  // path fail, and so hide why the change must not be made there.
  std::vector<Finding> errors;
  for (const Finding &f : guardFindings(place_)) {
    if (f.severity == Severity::Error) errors.push_back(f);
  }
  if (!errors.empty()) {
    for (size_t i = 0; i + 1 < errors.size(); ++i)
      voice_.finding(o_.file, errors[i], false, stderr);
    return refused(errors.back().code, errors.back().message);
  }
  if (!walked.ok()) return walked;
  for (const Finding &f : guardFindings(place_)) {
    if (std::find(said.begin(), said.end(), f.message) == said.end()) voice_.finding(o_.file, f);
  }
  if (!place_.exists) {
    if (!place_.danglingTarget.empty()) {
      return refused(
          "dangling-link",
          "the list is a symbolic link to " + place_.danglingTarget +
              ", which does not exist: mend the link, or name the list by its real path");
    }
    if (!o_.create) {
      return refused("no-list", "there is no list " + o_.file + " (a typo?)" +
                                    (o_.creates ? ": give --create to make a new one" : ""));
    }
    return done();
  }
  if (!S_ISREG(place_.st.st_mode)) {
    return refused("not-regular", std::string("the list is ") + kindOf(place_.st.st_mode) +
                                      ", not a list file: the plug-in reads only a regular file");
  }
  if (place_.st.st_nlink > 1 && !o_.breakLinks) {
    return refused("hard-links", "the list has " + std::to_string(place_.st.st_nlink) +
                                     " names (hard links): a new version would leave the other "
                                     "names with the old table; remove them, or give "
                                     "--break-links");
  }
  return done();
}

Outcome Change::judgeAgain() {
  struct stat now {};
  const bool there = fstatat(place_.dir.get(), place_.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
  if (there == place_.exists && (!there || sameFile(now, place_.st))) return done();
  struct stat locked {
  }, folder{};
  if (fstat(place_.dir.get(), &locked) != 0)
    return trouble(std::string("cannot examine the list's folder: ") + std::strerror(errno));
  std::vector<std::string> said;
  for (const GuardFinding &g : place_.findings) said.push_back(g.message);
  Outcome judged = judge(said);
  if (!judged.ok()) return judged;
  if (fstat(place_.dir.get(), &folder) != 0 || !sameFile(folder, locked)) {
    return refused("changed-meanwhile",
                   "the list moved to another folder while its lock was awaited: nothing "
                   "written; try again");
  }
  return done();
}

Outcome Change::lock() {
  // A change that waits for another says so at a terminal, rather than stand silent; an ending
  // signal meanwhile ends the wait, and the change says so as it says every end.
  const auto waiting = [this](const LockHolder &h) {
    const std::string what = place_.live() + " is being changed by another tolvane-list" +
                             shownHolder(h) + ": waiting for it to end" +
                             (o_.wait > 0 ? " (at most " + secondsText(o_.wait) + " s)" : "") +
                             "; Ctrl-C gives up and writes nothing";
    if (voice_.json() || isatty(STDERR_FILENO) != 0)
      voice_.line(stderr, "tolvane-list: " + what, "waited", what);
  };
  if (o_.wait >= 0) noteEndingSignals();
  Outcome o = lock_.acquire(place_, trusted_, o_.wait, waiting);
  if (o_.wait >= 0) stopNotingSignals();
  if (o.code != "locked") return o;
  const std::string busy =
      place_.live() + " is being changed by another tolvane-list" + shownHolder(lock_.holder());
  if (o.signal != 0) {
    return trouble(
        busy + ": the wait was ended by SIG" + sigabbrev_np(o.signal) + "; nothing written",
        o.signal);
  }
  return trouble(busy + (o_.wait < 0 ? ": try again when it is done, or wait for it with --wait"
                                     : ": waited " + secondsText(o_.wait) + " s in vain"));
}

Outcome Change::read() {
  if (place_.exists) {
    Outcome opened = readListIn(place_, place_.name, o_.file, list_);
    if (!opened.ok()) return opened;
    if (!sameFile(list_.st, place_.st)) {
      return refused("changed-meanwhile",
                     "the list was replaced while it was judged: nothing written; try again");
    }
    if (list_.bytes.size() > TV_READ_LIMIT) {
      return refused("too-long", "the list is longer than the " + std::to_string(TV_READ_LIMIT) +
                                     " bytes the plug-in reads: mend it by hand");
    }
  }
  before_ = checkList(o_.file, list_.bytes);
  return done();
}

Outcome Change::check(const Report &after, bool &editAgain) {
  // Each finding of the old list excuses one of the new list, the same code on the same text.
  std::vector<std::string> old;
  for (const Finding &f : before_.findings) old.push_back(findingKey(f));
  std::vector<const Finding *> fresh, kept;
  int added = 0, firstLine = 0;
  for (const Finding &f : after.findings) {
    auto was = std::find(old.begin(), old.end(), findingKey(f));
    if (was != old.end()) {
      was->clear();
      kept.push_back(&f);
      continue;
    }
    fresh.push_back(&f);
    if (f.severity != Severity::Error) continue;
    if (firstLine == 0) firstLine = f.line;
    // A record past the 32nd is refused as one, below.
    if (f.code != "table-full") ++added;
  }
  // The new findings first; those the list had already after them, each marked.
  for (const Finding *f : fresh) voice_.finding(after.file, *f);
  for (const Finding *f : kept) voice_.finding(after.file, *f, true);
  const bool past = after.ignoredTotal > before_.ignoredTotal;
  if (added == 0 && !past) return done();
  std::string why;
  if (added > 0) {
    why = "the new list has " + std::to_string(added) + " error" + (added == 1 ? "" : "s") +
          " that the list does not have";
  } else {
    why = "the new list has " + std::to_string(after.ignoredTotal) +
          " record(s) past the 32nd, which the plug-in never reads (the list has " +
          std::to_string(before_.ignoredTotal) + ")";
  }
  const std::string code = added > 0 ? "new-errors" : "past-32nd";
  if (editing_ != nullptr && editing_->editable() && terminal_) {
    const char c = ask(o_.file + ": " + why +
                           ". What now? (e) edit again, (x) leave the list as it was, (i) "
                           "install anyway: ",
                       "exi", 'x');
    if (c == 'i') {
      despite_ = added > 0 ? newErrors(added)
                           : std::to_string(after.ignoredTotal - before_.ignoredTotal) +
                                 " new record(s) past the 32nd";
      return done();
    }
    editAgain = c == 'e';
    if (editAgain) editing_->editAt(firstLine);
    return refused(code, why + ": left as it was");
  }
  return refused(code, why + ": nothing written");
}

Outcome Change::confirm(const Report &after, bool &editAgain) {
  const bool empty = after.records.empty() && !before_.records.empty() && !o_.allowEmpty;
  const std::string why = "the new list gives no record: the plug-in will recognise nobody";
  if (step_->asksFirst() && terminal_ && !o_.dryRun) {
    // The whole list is to be replaced: the operator sees what changes, and says yes to it.
    voice_.changes(before_, after, o_.file + " (before)", o_.file);
    changesShown_ = true;
    const std::string caution = step_->caution();
    if (!caution.empty()) voice_.whole(o_.file, Severity::Warning, "outside-change", caution);
    const char c = ask(o_.file + ": " + (empty ? why + ". Install it?" : "Install this change?") +
                           " (y) yes, (n) no: ",
                       "yn", 'n');
    if (c == 'y') return done();
    if (empty) return refused("no-records", why + " (give --allow-empty to install it anyway)");
    return refused("not-confirmed", "the change was not confirmed: nothing written");
  }
  if (!empty) return done();
  if (terminal_) {
    const bool edit = editing_ != nullptr && editing_->editable();
    const char c = ask(o_.file + ": " + why + ". Install it? (y) yes, " +
                           (edit ? "(e) edit again, " : "") + "(n) no: ",
                       edit ? "yne" : "yn", 'n');
    if (c == 'y') return done();
    editAgain = c == 'e';
  }
  return refused("no-records", why + " (give --allow-empty to install it anyway)");
}

Outcome Change::readAsOneLine() const {
  for (const Finding &f : before_.findings) {
    if (f.code != "cr-line-ends") continue;
    return refused("cr-line-ends",
                   "the list's lines end in a carriage return alone (old Macintosh line ends), "
                   "and the plug-in reads it as one line: a line " +
                       std::string(std::strcmp(step_->verb(), "add") == 0 ? "added" : "taken out") +
                       " would not count as one; convert the line ends first (sed -i "
                       "'s/\\r/\\n/g' " +
                       o_.file + "), or change the list with tolvane-list edit");
  }
  return done();
}

char Change::ask(const std::string &question, const std::string &choices, char otherwise) {
  // An edit's copy is named by the note its step gave when the copy was made.
  if (editing_ == nullptr) endOnSignal(escaped(o_.file + ": the list is unchanged"));
  return answer(question, choices, otherwise);
}

Outcome Change::reachLog() {
  // A change through sudo is made only where the system log can take its line: a delegate never
  // chooses what stays off the record. Root's is made all the same, and said to be unlogged.
  Outcome reached = systemLog_.connect();
  if (reached.ok() || !invoker_.delegated) return done();
  notLogged_ = reached.message;
  return refused("not-on-record",
                 "the system log cannot take this change's line (" + reached.message +
                     "): a change made through sudo is made only on record; nothing written");
}

Outcome Change::install(const std::string &after, const Report &next) {
  // Once more: the system log may have gone while the operator edited.
  Outcome reached = reachLog();
  if (!reached.ok()) return reached;
  // From the journal's entry until the list is in place, its previous version kept, the change
  // on record and said, every signal waits; once the list is installed there is nothing left
  // to stop, and the tool ends as the change did (a signal never makes it say the list is
  // unchanged, nor keeps the change from the log).
  holdAllSignals();
  signalsHeld_ = true;
  Attributes attrs = newListAttributes();
  if (place_.exists) {
    Outcome read = attributesOf(list_.fd.get(), attrs);
    if (!read.ok()) return read;
  }
  ListInstall install(place_, place_.exists ? &list_ : nullptr);
  // The journal first: what the change read and will install, every file it will make, and its
  // line; written to disk before the first of those files is made.
  JournalEntry e = entry(JournalEntry::Install);
  Outcome o = install.plan(place_.exists, e.files);
  if (!o.ok()) return o;
  const std::vector<TableChange> changes = compareTables(before_, next);
  const std::string despite = despite_.empty() ? "" : " despite " + despite_;
  const std::string intro = "installed" + despite + ": ";
  e.install = digestOf(after);
  const FoundFile kept = foundBeside(place_, trusted_, place_.name + "-");
  e.previous = kept.plain ? digestOf(kept.bytes) : "";
  e.line.head = head();
  e.line.what =
      intro +
      loggedChanges(changes, kLogTextMost - e.line.head.size() - 2 - intro.size() - kLineRoom, id_);
  e.changes = keptChanges(changes);
  e.table = keptTable(next);
  e.despite = despite_;
  if (!copy_.path.empty()) e.copy = copy_;
  o = journal(e);
  if (!o.ok()) return o;
  journaled_ = true;
  o = install.prepare(after, attrs);
  if (o.ok()) o = install.commit();
  installed_ = install.installed();
  if (installed_) {
    // Installed all the same: on record, then its end in the journal, then the one report, with
    // what went wrong after.
    const bool logged = log(logLine(e.line.head, e.line.what));
    JournalEntry end = entry(JournalEntry::End);
    end.result = "installed";
    end.logged = logged;
    if (!logged) {
      end.notLogged = notLogged_;
      end.line = e.line;
    }
    if (!o.ok()) end.why = o.message;
    Outcome written = journal(end);
    journaled_ = false;
    report(next, true, install.previousKept());
    if (!o.ok()) return trouble(o.message);
    return written.ok() ? written : trouble(written.message);
  }
  if (o.kind == Outcome::Refused && o.code == "attributes")
    return refused(o.code, o.message + ": nothing written");
  if (o.kind == Outcome::Trouble)
    return trouble("cannot install " + o_.file + ": " + o.message + "; the list is unchanged");
  return o;
}

int Change::finish(const Outcome &ended) {
  // An install that put the list in place has said so already, with what the step left undone,
  // and ends the tool as it is.
  if (installed_) return voice_.end(ended.ok() ? afterwards_ : ended);
  Outcome o = ended;
  if (o.kind != Outcome::Done) o.message = withRootHint(o.message, geteuid() == 0);
  if (o.kind == Outcome::Refused && !o_.dryRun) {
    log(logLine(logHead(place_.exists ? place_.live() : o_.file, step_->verb(), invoker_.shown()),
                loggedRefusal(o.message, o.code)));
  }
  bool kept = false;
  const std::string where = o.ok() || editing_ == nullptr ? "" : editing_->keepWork(kept);
  journalEnd(o.kind == Outcome::Refused   ? "refused"
             : o.kind == Outcome::Trouble ? "trouble"
                                          : "unchanged",
             o.message, kept ? copy_.path : "");
  if (o.kind == Outcome::Refused) {
    const nlohmann::json more = step_->details();
    if (more.is_object()) {
      for (auto it = more.begin(); it != more.end(); ++it) voice_.fact(it.key(), it.value());
    }
  }
  // The failure said first, then where the operator's work is kept.
  voice_.fail(o);
  if (!where.empty()) voice_.line(stderr, o_.file + ": your edit is in " + where, "kept", where);
  const int status = voice_.end(o);
  // A signal that came while the install was tried acts now, with everything said.
  if (signalsHeld_) releaseAllSignals();
  return status;
}

int Change::unchanged(const std::string &note) {
  journalEnd("unchanged", note, "");
  voice_.line(stdout,
              o_.file + ": unchanged: " + (note.empty() ? "" : note + "; ") + "nothing written",
              "note", note);
  for (const ChangeStep::Remark &r : step_->remarks())
    voice_.whole(o_.file, Severity::Note, r.code, r.message);
  return voice_.end(done());
}

void Change::facts(bool changed, bool installed) {
  voice_.fact("changed", changed);
  voice_.fact("installed", installed);
  voice_.fact("dryRun", o_.dryRun);
}

void Change::report(const Report &next, bool installed, bool previousKept) {
  const std::string despite = despite_.empty() ? "" : " despite " + despite_;
  facts(true, installed);
  if (!changesShown_ || voice_.json())
    voice_.changes(before_, next, o_.file + " (before)", o_.file);
  if (o_.dryRun) {
    voice_.line(stdout, o_.file + ": dry run: would change; nothing written", "dryRun", true);
  } else if (installed) {
    const std::string kept = place_.links.empty() ? o_.file + "-" : place_.live() + "-";
    const bool named = place_.exists && previousKept;
    voice_.line(stdout,
                o_.file + ": changed: installed" + despite +
                    (named ? " (the previous version is " + kept + ")" : ""),
                "previous", named ? nlohmann::json(kept) : nlohmann::json());
    if (!despite_.empty()) voice_.fact("despite", despite_);
  }
  for (const ChangeStep::Remark &r : step_->remarks())
    voice_.whole(o_.file, Severity::Note, r.code, r.message);
  if (afterwards_.kind == Outcome::Refused) {
    const nlohmann::json more = step_->details();
    if (more.is_object()) {
      for (auto it = more.begin(); it != more.end(); ++it) voice_.fact(it.key(), it.value());
    }
  }
}

Outcome Change::previousVersion(std::string &bytes) {
  return readPreviousVersion(place_, trusted_, bytes);
}

}  // namespace tl
