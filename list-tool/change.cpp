#include "change.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "content/cut-short.h"
#include "content/digest.h"
#include "content/journal.h"
#include "content/json-out.h"
#include "content/log-line.h"
#include "content/shown.h"
#include "content/text-out.h"
#include "files/attributes.h"
#include "files/beside-list.h"
#include "files/install.h"
#include "files/signals.h"
#include "files/work-copy.h"

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

// The digest of a list's bytes, "" for a list that is not there.
std::string digestOrNone(bool there, const std::string &bytes) {
  return there ? digestOf(bytes) : "";
}

// A file beside the list as the judgement of a change cut short takes it.
FileFound asFound(const FoundFile &f) {
  return {f.there, f.plain, f.plain ? digestOf(f.bytes) : ""};
}

// A journal that cannot be read as the tool writes it, named with the line where it fails
// (counted in its own file, the rotated one's or the current one's).
Outcome damagedJournal(const ListPlace &place, const JournalFile &file, const JournalDamage &d,
                       size_t rotated) {
  const bool current = d.line > static_cast<int>(rotated);
  return refused(
      "journal-damaged",
      "the journal " + (current ? file.path() : place.beside(rotatedJournalName(place.name))) +
          " cannot be read as tolvane-list writes it (line " +
          std::to_string(current ? d.line - static_cast<int>(rotated) : d.line) + ": " + d.message +
          "): look at it, then move it aside (the next change starts a new journal)");
}

// "change 20261211T054538Z-Ab3dEf (add by root for alice (sudo), 2026-12-11T05:45:38Z)"
std::string changeNamed(const JournalEntry &e) {
  return "change " + e.id + " (" + e.verb + " by " + e.by.shown() + ", " + utcTime(e.at) + ")";
}

}  // namespace

std::vector<Finding> journalFindings(const ListPlace &place, const Trusted &trusted,
                                     const std::string &bytes, const Report &report) {
  std::vector<Finding> out;
  const auto add = [&out](Severity s, const std::string &code, const std::string &message) {
    out.push_back({0, 0, s, code, message, "", 0});
  };
  JournalFile file;
  std::vector<std::string> lines;
  size_t rotated = 0;
  Outcome o = file.open(place, trusted, false);
  if (o.ok()) o = file.read(lines, rotated);
  std::vector<JournalEntry> entries;
  JournalDamage damage;
  if (o.ok() && !parseJournal(lines, entries, damage))
    o = damagedJournal(place, file, damage, rotated);
  if (!o.ok()) {
    add(Severity::Error, o.kind == Outcome::Refused ? o.code : "journal-unreadable", o.message);
    return out;
  }
  const JournalState s = stateOf(entries);
  const std::string kept = place.beside(place.name + "-");
  std::vector<std::string> known = {journalName(place.name), rotatedJournalName(place.name),
                                    "." + place.name + ".lock"};
  if (s.open) {
    const JournalEntry &first = s.hasStart ? s.start : s.install;
    CutShortFound found;
    found.list = digestOrNone(place.exists, bytes);
    if (s.hasInstall) {
      for (size_t i = 0; i < s.install.files.size() && i < 2; ++i) {
        const FileFound f = asFound(foundBeside(place, trusted, s.install.files[i]));
        (i == 0 ? found.next : found.previous) = f;
        known.push_back(s.install.files[i]);
      }
    }
    found.kept = asFound(foundBeside(place, trusted, place.name + "-"));
    const CopyKept &copy = s.hasStart ? s.start.copy : CopyKept{};
    if (copy.beside && !copy.path.empty()) known.push_back(copy.name);
    const CutShort c = judgeCutShort(s, found, kept);
    add(Severity::Warning, "interrupted",
        changeNamed(first) + " was " + c.said + ": the next change " +
            (c.stage == CutShort::Unknown ? "puts it on record as such"
             : c.installed                ? "completes it and puts it on record"
                                          : "rolls it back and puts it on record"));
  }
  // The list is not what the last change of the tool installed: changed outside it since,
  // whether or not a change has found that and put it on record already.
  const std::string now = digestOrNone(place.exists, bytes);
  if (!s.change.digest.empty() && now != s.change.digest && !s.open) {
    const Report was = tableReport(place.given, s.change.table);
    add(Severity::Warning, "outside-change",
        "the list is not what " + changeNamed(s.change.install) +
            " installed: it was changed outside tolvane-list (" +
            changeSummary(was, report, compareTables(was, report)) + ")" +
            (s.last.outside && now == s.last.digest
                 ? ", as a change found and put on record at " + utcTime(s.last.at)
                 : "; the next change puts that on record") +
            "; undo refuses to undo past it");
  }
  for (const JournalEntry &u : s.unlogged) {
    add(Severity::Warning, "not-logged",
        (u.kind == JournalEntry::Outside ? "the outside change found at " + utcTime(u.at)
                                         : "change " + u.id + " (" + utcTime(u.at) + ")") +
            " is not on record in the system log (" + u.notLogged +
            "): the next change that can log puts it there");
  }
  for (const JournalEntry &k : s.kept) {
    const CopyKept &c = k.kept;
    FoundFile f;
    if (c.beside) {
      f = foundBeside(place, trusted, c.name);
      known.push_back(c.name);
    } else {
      const PrivateCopy p = privateCopyAt(c.path, c.owner);
      f.there = p.there;
      f.changed = p.changed;
    }
    if (!f.there) continue;
    add(Severity::Warning, "kept-copy",
        c.path + ", written " + shownTime(f.changed) + ", is a copy of the list that " +
            (c.beside ? "was edited" : userName(c.owner) + " edited through sudo") +
            " and that was not installed (change " + k.id + "): look at it" +
            (c.beside ? ", then remove it" : " with them, then remove its folder"));
  }
  // Oldest first; only a plain file of one name that a trusted account owns can be the tool's.
  std::vector<std::pair<time_t, std::string>> strays;
  for (const std::string &name : toolNamesBeside(place)) {
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    const FoundFile f = foundBeside(place, trusted, name);
    if (f.plain) strays.emplace_back(f.changed, name);
  }
  std::stable_sort(strays.begin(), strays.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  for (const auto &stray : strays) {
    add(Severity::Warning, "stray-copy",
        place.beside(stray.second) + ", written " + shownTime(stray.first) +
            ", is named as tolvane-list names the files of its changes, but no change in the "
            "journal made it (an earlier tolvane-list may have left it): look at it, then remove "
            "it");
  }
  if (!s.change.digest.empty() && !s.change.install.read.empty()) {
    const FoundFile previous = foundBeside(place, trusted, place.name + "-");
    if (previous.plain && digestOf(previous.bytes) != s.change.install.read) {
      add(Severity::Warning, "previous-unknown",
          kept + " is not the version that " + changeNamed(s.change.install) +
              " replaced: undo refuses it");
    }
  }
  return out;
}

Outcome readJournalOf(const std::string &file, const Trusted &trusted, JournalRead &out) {
  Outcome o = walkList(file, trusted, out.place);
  if (!o.ok()) return o;
  if (out.place.exists) {
    OpenList list;
    o = readListIn(out.place, out.place.name, file, list);
    if (!o.ok()) return o;
    out.listThere = true;
    out.bytes = list.bytes;
  }
  JournalFile journal;
  std::vector<std::string> lines;
  size_t rotated = 0;
  o = journal.open(out.place, trusted, false);
  if (o.ok()) o = journal.read(lines, rotated);
  if (!o.ok()) return o;
  out.journalThere = journal.exists();
  out.journalPath = journal.path();
  JournalDamage damage;
  if (!parseJournal(lines, out.entries, damage))
    return damagedJournal(out.place, journal, damage, rotated);
  return done();
}

nlohmann::json ChangeStep::details() const {
  return nullptr;
}

Change::Change(ChangeOptions options) : o_(std::move(options)) {
  invoker_ = whoInvokes();
  terminal_ = isatty(STDIN_FILENO) != 0 && !o_.json;
}

int Change::run(ChangeStep &step) {
  step_ = &step;
  // Judge: whether the step can be made, who can change or replace the list, and what its name
  // names. Nothing is written, not even the lock, in a place others could turn against the
  // change.
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
  if (o.ok() && !step.editable()) o = readAsOneLine();
  if (!o.ok()) return finish(o);
  // Change the copy, check it and confirm what needs it; at a terminal the operator may edit
  // the copy again.
  const ListAsRead list{
      place_, list_.bytes, before_, invoker_, state_, entries_, terminal_ && !o_.dryRun, *this};
  std::string after;
  Report next;
  for (;;) {
    o = step.make(list, after);
    if (!o.ok()) return finish(o);
    if (after == list_.bytes) return unchanged(o.message);
    next = checkList(step.newName(o_.file), after);
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
    report(next, false, false, "");
    return afterwards_.exitStatus();
  }
  // Install: put in the journal, exchanged with the list, the previous version kept beside it;
  // put on record and reported.
  return finish(install(after, next));
}

Outcome Change::judge(const std::vector<std::string> &said) {
  Outcome walked = walkList(o_.file, o_.trusted, place_);
  // A guard error met before the walk failed comes first: whoever can write that folder can
  // also make the rest of the path fail, and so hide why the change must not be made there.
  const GuardFinding *last = nullptr;
  for (const GuardFinding &g : place_.findings) {
    if (!g.error) continue;
    if (last != nullptr)
      printLine(stderr, o_.file + ": error: " + last->message + " [" + last->code + "]");
    last = &g;
  }
  if (last != nullptr) return refused(last->code, last->message);
  if (!walked.ok()) return walked;
  if (!o_.json) {
    for (const GuardFinding &g : place_.findings) {
      if (std::find(said.begin(), said.end(), g.message) == said.end())
        printLine(stdout, o_.file + ": warning: " + g.message + " [" + g.code + "]");
    }
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
  // At a terminal a change that waits for another says so, rather than stand silent.
  const auto waiting = [](const std::string &what) {
    if (isatty(STDERR_FILENO) != 0) printLine(stderr, "tolvane-list: " + what);
  };
  return lock_.acquire(place_, o_.trusted, o_.wait, waiting);
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

Outcome Change::readJournal() {
  began_ = time(nullptr);
  id_ = changeId(began_, randomSuffix());
  Outcome opened = journalFile_.open(place_, o_.trusted, !o_.dryRun);
  std::vector<std::string> lines;
  size_t rotated = 0;
  if (opened.ok()) opened = journalFile_.read(lines, rotated);
  if (!opened.ok()) return opened;
  JournalDamage damage;
  if (!parseJournal(lines, entries_, damage))
    return damagedJournal(place_, journalFile_, damage, rotated);
  state_ = stateOf(entries_);
  return done();
}

Outcome Change::repair() {
  if (!state_.open) return done();
  const JournalEntry &first = state_.hasStart ? state_.start : state_.install;
  CutShortFound found;
  found.list = digestOrNone(place_.exists, list_.bytes);
  const std::vector<std::string> &files = state_.install.files;
  if (state_.hasInstall && !files.empty())
    found.next = asFound(foundBeside(place_, o_.trusted, files[0]));
  if (state_.hasInstall && files.size() > 1)
    found.previous = asFound(foundBeside(place_, o_.trusted, files[1]));
  found.kept = asFound(foundBeside(place_, o_.trusted, place_.name + "-"));
  const CopyKept &copy = state_.hasStart ? state_.start.copy : CopyKept{};
  if (!copy.path.empty()) {
    if (copy.beside) {
      found.copy = asFound(foundBeside(place_, o_.trusted, copy.name));
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
  printLine(stderr, o_.file + ": put right: " + said);
  repaired_.push_back(said);
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
  if (!o_.json) {
    printLine(stdout,
              o_.file + ": warning: the list was changed outside tolvane-list since " +
                  (state_.last.outside ? "the outside change found at " + utcTime(state_.last.at)
                                       : changeNamed(state_.last.install)) +
                  ": " + changeSummary(was, before_, changes) + " [outside-change]");
  }
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
  if (!o_.json) {
    for (const Finding *f : fresh) printFinding(stdout, after.file, *f);
    for (const Finding *f : kept) {
      printFinding(stdout, after.file, *f);
      printLine(stdout, after.file + (f->line == 0 ? "" : ":" + std::to_string(f->line)) +
                            ": note: already " +
                            (f->severity == Severity::Error ? "an error " : "") +
                            "before this change");
    }
  }
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
  if (step_->editable() && terminal_) {
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
    if (editAgain) step_->editAt(firstLine);
    return refused(code, why + ": left as it was");
  }
  return refused(code, why + ": nothing written");
}

Outcome Change::confirm(const Report &after, bool &editAgain) {
  const bool empty = after.records.empty() && !before_.records.empty() && !o_.allowEmpty;
  const std::string why = "the new list gives no record: the plug-in will recognise nobody";
  if (step_->asksFirst() && terminal_ && !o_.dryRun) {
    // The whole list is to be replaced: the operator sees what changes, and says yes to it.
    printChanges(stdout, before_, after, o_.file + " (before)", o_.file);
    changesShown_ = true;
    const std::string caution = step_->caution();
    if (!caution.empty())
      printLine(stdout, o_.file + ": warning: " + caution + " [outside-change]");
    const char c = ask(o_.file + ": " + (empty ? why + ". Install it?" : "Install this change?") +
                           " (y) yes, (n) no: ",
                       "yn", 'n');
    if (c == 'y') return done();
    if (empty) return refused("no-records", why + " (give --allow-empty to install it anyway)");
    return refused("not-confirmed", "the change was not confirmed: nothing written");
  }
  if (!empty) return done();
  if (terminal_) {
    const bool edit = step_->editable();
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
  if (!step_->editable()) endOnSignal(escaped(o_.file + ": the list is unchanged"));
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
  const FoundFile kept = foundBeside(place_, o_.trusted, place_.name + "-");
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
    report(next, true, install.previousKept(), o.ok() ? written.message : o.message);
    if (!o.ok()) printLine(stderr, "tolvane-list: " + o.message);
    if (!written.ok()) printLine(stderr, "tolvane-list: " + written.message);
    std::fflush(nullptr);
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
  if (installed_) return ended.ok() ? afterwards_.exitStatus() : ended.exitStatus();
  Outcome o = ended;
  if (o.kind != Outcome::Done) o.message = withRootHint(o.message, geteuid() == 0);
  if (o.kind == Outcome::Refused) {
    printLine(stderr, o_.file + ": error: " + o.message + " [" + o.code + "]");
    if (!o_.dryRun) {
      log(logLine(logHead(place_.exists ? place_.live() : o_.file, step_->verb(), invoker_.shown()),
                  loggedRefusal(o.message, o.code)));
    }
  } else if (o.kind == Outcome::Trouble) {
    printLine(stderr, "tolvane-list: " + o.message);
  }
  bool kept = false;
  const std::string where = o.ok() ? "" : step_->keepWork(kept);
  journalEnd(o.kind == Outcome::Refused   ? "refused"
             : o.kind == Outcome::Trouble ? "trouble"
                                          : "unchanged",
             o.message, kept ? copy_.path : "");
  if (o_.json && !o.ok()) {
    nlohmann::json doc = {
        {"file", o_.file}, {"changed", false}, {"installed", false}, {"dryRun", o_.dryRun}};
    if (o.kind == Outcome::Refused) {
      doc["refused"] = {{"code", o.code}, {"message", o.message}};
      const nlohmann::json more = step_->details();
      if (more.is_object()) doc.update(more);
    } else {
      doc["trouble"] = o.message;
    }
    annotate(doc);
    printJson(stdout, doc);
  }
  if (!where.empty()) printLine(stderr, o_.file + ": your edit is in " + where);
  std::fflush(nullptr);
  // A signal that came while the install was tried acts now, with everything said.
  if (signalsHeld_) releaseAllSignals();
  return o.exitStatus();
}

int Change::unchanged(const std::string &note) {
  journalEnd("unchanged", note, "");
  if (o_.json) {
    nlohmann::json doc = {{"file", o_.file},
                          {"changed", false},
                          {"installed", false},
                          {"dryRun", o_.dryRun},
                          {"note", note}};
    annotate(doc);
    printJson(stdout, doc);
  } else {
    printLine(stdout,
              o_.file + ": unchanged: " + (note.empty() ? "" : note + "; ") + "nothing written");
    for (const ChangeStep::Remark &r : step_->remarks())
      printLine(stdout, o_.file + ": note: " + r.message + " [" + r.code + "]");
  }
  return kClean;
}

void Change::report(const Report &next, bool installed, bool previousKept,
                    const std::string &trouble) {
  const std::vector<TableChange> changes = compareTables(before_, next);
  const std::string despite = despite_.empty() ? "" : " despite " + despite_;
  const Outcome &left = afterwards_;
  if (o_.json) {
    nlohmann::json doc = changeJson(before_, next, changes);
    doc["file"] = o_.file;
    doc["changed"] = true;
    doc["installed"] = installed;
    doc["dryRun"] = o_.dryRun;
    if (!trouble.empty()) doc["trouble"] = trouble;
    if (left.kind == Outcome::Refused) {
      doc["refused"] = {{"code", left.code}, {"message", left.message}};
      const nlohmann::json more = step_->details();
      if (more.is_object()) doc.update(more);
    }
    annotate(doc);
    printJson(stdout, doc);
    return;
  }
  if (!changesShown_) printChanges(stdout, before_, next, o_.file + " (before)", o_.file);
  if (o_.dryRun) {
    printLine(stdout, o_.file + ": dry run: would change; nothing written");
  } else if (installed) {
    const std::string kept = place_.links.empty() ? o_.file + "-" : place_.live() + "-";
    printLine(stdout,
              o_.file + ": changed: installed" + despite +
                  (place_.exists && previousKept ? " (the previous version is " + kept + ")" : ""));
  }
  for (const ChangeStep::Remark &r : step_->remarks())
    printLine(stdout, o_.file + ": note: " + r.message + " [" + r.code + "]");
  if (left.kind == Outcome::Refused)
    printLine(stderr, o_.file + ": error: " + left.message + " [" + left.code + "]");
}

bool Change::log(const std::string &line) {
  const Outcome sent = systemLog_.send(line);
  // A change that could not be put on record says so, once, and goes on; its journal says so.
  if (sent.ok()) return true;
  if (notLogged_.empty()) {
    notLogged_ = sent.message;
    printLine(stderr, o_.file + ": not logged: " + notLogged_);
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
      const bool there = k.kept.beside ? foundBeside(place_, o_.trusted, k.kept.name).there
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
  if (!o.ok()) printLine(stderr, "tolvane-list: " + o.message);
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

void Change::annotate(nlohmann::json &doc) const {
  nlohmann::json notes = nlohmann::json::array();
  for (const ChangeStep::Remark &r : step_->remarks())
    notes.push_back({{"code", r.code}, {"message", r.message}});
  if (!notes.empty()) doc["notes"] = notes;
  if (!repaired_.empty()) doc["repaired"] = repaired_;
  if (!notLogged_.empty()) doc["notLogged"] = notLogged_;
}

}  // namespace tl
