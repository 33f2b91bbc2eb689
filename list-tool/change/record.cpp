// What a change puts on record: its entries in the list's journal, written before it acts and
// once it is over, and its lines in the system log; with what the journal says is left to do
// before a change acts (a change cut short, an outside change, lines still due).
#include <unistd.h>

#include <ctime>

#include "change/judgement.h"
#include "change/run.h"
#include "content/cut-short.h"
#include "content/digest.h"
#include "content/journal.h"
#include "content/log-line.h"
#include "content/table-diff.h"
#include "files/beside-list.h"
#include "files/install.h"
#include "files/work-copy.h"

namespace tl {

Outcome Change::readJournal() {
  began_ = time(nullptr);
  id_ = changeId(began_, randomSuffix());
  Outcome read = readJournalAt(place_, trusted_, !o_.dryRun, journalFile_, entries_);
  if (read.ok()) state_ = stateOf(entries_);
  return read;
}

Outcome Change::repair() {
  if (!state_.open) return done();
  const JournalEntry &first = state_.hasStart ? state_.start : state_.install;
  CutShortFound found;
  found.list = digestOrNone(place_.exists, list_.bytes);
  const std::vector<std::string> &files = state_.install.files;
  if (state_.hasInstall && !files.empty())
    found.next = asFound(foundBeside(place_, trusted_, files[0]));
  if (state_.hasInstall && files.size() > 1)
    found.previous = asFound(foundBeside(place_, trusted_, files[1]));
  found.kept = asFound(foundBeside(place_, trusted_, place_.name + "-"));
  const CopyKept &copy = state_.hasStart ? state_.start.copy : CopyKept{};
  if (!copy.path.empty()) {
    if (copy.beside) {
      found.copy = asFound(foundBeside(place_, trusted_, copy.name));
    } else {
      const PrivateCopy p = privateCopyAt(copy.path, copy.owner);
      found.copy = {p.there, p.there, p.there ? digestOf(p.bytes) : ""};
    }
  }
  const std::string kept = place_.beside(place_.name + "-");
  const CutShort c = judgeCutShort(state_, found, kept);
  if (c.stage != CutShort::Unknown) {
    Outcome put = putRight(place_, c.keepPrevious ? files[1] : "", c.remove);
    if (!put.ok()) return put;
  }
  if (c.removeCopy) {
    if (copy.beside) {
      Outcome gone = removeBeside(place_, copy.name);
      if (!gone.ok()) return gone;
    } else {
      removePrivateCopy(copy.path);
    }
  }
  JournalEntry r = entry(JournalEntry::Repair);
  r.id = first.id;
  r.writer = id_;
  r.result = c.installed ? "completed" : c.stage == CutShort::Unknown ? "unknown" : "rolled-back";
  r.why = c.said;
  if (c.copyKept) r.kept = copy;
  // On record under the verb and account of the change that was cut short.
  const std::string at = " (change " + first.id + " of " + utcTime(first.at) + ")";
  r.line.head = logHead(first.list, first.verb, first.by.shown());
  const char *now = c.stage == CutShort::Installed ? "; on record now" : ", completed now";
  r.line.what = c.said + (c.installed ? now : "") + at +
                (c.installed ? ": " + state_.install.line.what : "") +
                (c.copyKept ? "; the edit is kept in " + logQuoted(copy.path, kLogPathMost) : "");
  r.logged = log(logLine(r.line.head, r.line.what));
  r.notLogged = r.logged ? "" : notLogged_;
  const std::string said = changeNamed(first) + " was " + c.said + (c.installed ? now : "") +
                           (c.copyKept ? "; the edit is kept in " + copy.path : "");
  voice_.line(stderr, o_.file + ": put right: " + said, "repaired", said, true);
  return journal(r);
}

Outcome Change::recordOutside() {
  const std::string now = digestOrNone(place_.exists, list_.bytes);
  if (state_.last.digest.empty() || now == state_.last.digest) return done();
  const Report was = tableReport(o_.file, state_.last.table);
  const std::vector<TableChange> changes = compareTables(was, before_);
  JournalEntry e = entry(JournalEntry::Outside);
  e.id = changeId(began_, randomSuffix());
  e.writer = id_;
  e.before = state_.last.digest;
  e.after = now;
  e.changes = keptChanges(changes);
  e.table = keptTable(before_);
  const std::string since = state_.last.outside
                                ? "the outside change found at " + utcTime(state_.last.at)
                                : "change " + state_.last.id;
  e.line.head = head();
  const std::string intro = "found an outside change: the list is not what " + since + " left";
  e.line.what = intro + ": " +
                loggedChanges(changes, kLogTextMost - e.line.head.size() - intro.size() - 4, e.id);
  voice_.whole(o_.file, Severity::Warning, "outside-change",
               "the list was changed outside tolvane-list since " +
                   (state_.last.outside ? "the outside change found at " + utcTime(state_.last.at)
                                        : changeNamed(state_.last.install)) +
                   ": " + changeSummary(was, before_, changes));
  e.logged = log(logLine(e.line.head, e.line.what));
  e.notLogged = e.logged ? "" : notLogged_;
  return journal(e);
}

Outcome Change::logLate() {
  const std::vector<JournalEntry> due = state_.unlogged;
  for (const JournalEntry &u : due) {
    if (u.line.head.empty()) continue;
    const std::string late = "logged late (change " + u.id + " of " + utcTime(u.at) + "): ";
    if (!log(logLine(u.line.head, late + u.line.what))) return done();
    JournalEntry e = entry(JournalEntry::Logged);
    e.id = u.id;
    e.writer = id_;
    Outcome o = journal(e);
    if (!o.ok()) return o;
  }
  return done();
}

bool Change::log(const std::string &line) {
  const Outcome sent = systemLog_.send(line);
  // A change that could not be put on record says so, once, and goes on; its journal says so.
  if (sent.ok()) return true;
  if (notLogged_.empty()) {
    notLogged_ = sent.message;
    voice_.line(stderr, o_.file + ": not logged: " + notLogged_, "notLogged", notLogged_);
  }
  return false;
}

Outcome Change::journal(const JournalEntry &e) {
  // A journal that has grown starts anew from what still counts, when no change is open.
  if (journalFile_.full() && !state_.open) {
    JournalState now = state_;
    // Only the copies still there are carried over.
    std::vector<JournalEntry> kept;
    for (const JournalEntry &k : now.kept) {
      const bool there = k.kept.beside ? foundBeside(place_, trusted_, k.kept.name).there
                                       : privateCopyAt(k.kept.path, k.kept.owner).there;
      if (there) kept.push_back(k);
    }
    now.kept = kept;
    JournalEntry state = entry(JournalEntry::State);
    state.id.clear();
    state.carried = carriedOver(now);
    Outcome rotated = journalFile_.rotate(journalLine(state));
    if (!rotated.ok()) return rotated;
    entries_ = {state};
  }
  Outcome written = journalFile_.append(journalLine(e));
  if (!written.ok()) return written;
  entries_.push_back(e);
  state_ = stateOf(entries_);
  return done();
}

void Change::journalEnd(const std::string &result, const std::string &why,
                        const std::string &kept) {
  if (!journaled_) return;
  journaled_ = false;
  JournalEntry end = entry(JournalEntry::End);
  end.result = result;
  end.why = why;
  if (!kept.empty()) end.kept = copy_;
  Outcome o = journal(end);
  if (!o.ok()) voice_.line(stderr, "tolvane-list: " + o.message, "journalTrouble", o.message);
}

JournalEntry Change::entry(JournalEntry::Kind kind) const {
  JournalEntry e;
  e.kind = kind;
  e.id = id_;
  e.at = time(nullptr);
  e.verb = step_->verb();
  e.by = {invoker_.name, getuid(), invoker_.delegated ? invoker_.delegate.name : "",
          invoker_.delegated ? invoker_.delegate.uid : 0};
  e.list = place_.exists ? place_.live() : place_.beside(place_.name);
  e.read = digestOrNone(place_.exists, list_.bytes);
  return e;
}

std::string Change::head() const {
  return logHead(place_.exists ? place_.live() : place_.beside(place_.name), step_->verb(),
                 invoker_.shown());
}

Outcome Change::beforeCopy(const std::string &path, uid_t owner, bool beside,
                           const std::string &name) {
  copy_ = {path, owner, beside, name};
  JournalEntry e = entry(JournalEntry::Start);
  e.copy = copy_;
  Outcome o = journal(e);
  if (o.ok()) journaled_ = true;
  return o;
}

}  // namespace tl
