#include "change.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "content/json-out.h"
#include "content/shown.h"
#include "content/text-out.h"
#include "files/attributes.h"
#include "files/install.h"
#include "files/leftovers.h"
#include "files/signals.h"
#include "files/system-log.h"

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

// Text from a list or the file system (a comment, a path, a message naming one) as the log line
// holds it: a backslash, a double quote, a tab, control characters, characters that set the
// direction of text and bytes that are not UTF-8 as \xHH, so that no text can pass for one of the
// escapes, close the quotes it stands in, start a line, or turn what follows around.
std::string logText(const std::string &text) {
  std::string plain;
  for (char c : text) {
    plain += c == '\\' ? std::string("\\x5C") : c == '"' ? std::string("\\x22") : std::string(1, c);
  }
  std::string line;
  for (char c : escaped(plain)) line += c == '\t' ? std::string("\\x09") : std::string(1, c);
  return line;
}

// The text in double quotes, which nothing in it can close: whatever a comment or a name holds
// (parentheses, semicolons, "+ line ..."), it stays one quoted piece of the line.
std::string logQuoted(const std::string &text) {
  return "\"" + logText(text) + "\"";
}

// A record as the log line holds it: "(registration seed 366, PUID seed any, 172.16.0.0 to
// 172.16.255.255 # \"Kay\")".
std::string logged(const Loaded &l) {
  Loaded bare = l;
  bare.comment.clear();
  return "(" + describeRecord(bare) + (l.comment.empty() ? "" : " # " + logQuoted(l.comment)) + ")";
}

// One change of the table as the log line holds it: "+ line 20 slot 4 (...)".
std::string loggedChange(const TableChange &c) {
  switch (c.kind) {
    case TableChange::Added:
      return "+ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
             " " + logged(*c.after);
    case TableChange::Removed:
      return "- line " + std::to_string(c.before->line) + " slot " +
             std::to_string(c.before->slot) + " " + logged(*c.before);
    case TableChange::Moved:
      break;
  }
  return "~ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
         ", was line " + std::to_string(c.before->line) + " slot " +
         std::to_string(c.before->slot) + " " + logged(*c.after);
}

// The changes of a table, as the log line holds them.
std::string loggedChanges(const std::vector<TableChange> &changes) {
  std::string what;
  for (const TableChange &c : changes) what += (what.empty() ? "" : "; ") + loggedChange(c);
  return what.empty() ? "comments and layout only, the same table" : what;
}

}  // namespace

std::string describeLeftover(const Leftover &l, const ListPlace &place) {
  const std::string kept = place.beside(place.name + "-");
  const std::string when = ", written " + shownTime(l.changed) + ", ";
  switch (l.kind) {
    case Leftover::Replaced:
      return "a change was cut short after it installed the list: " + kept +
             " is the version before the one it replaced, which lies in " + l.path + when +
             "(the next change makes it " + kept + ")";
    case Leftover::Unused:
      return l.path + when +
             "was made by a change cut short before it installed anything: the list is as it "
             "was (the next change removes it)";
    case Leftover::OldList:
      return l.path + when + "is the old list of a change cut short after it had kept it as " +
             kept + " (the next change removes it)";
    case Leftover::Copy:
      break;
  }
  return l.path + when +
         "is a copy an earlier change left (an edit that was not installed, or one killed): look "
         "at it, then remove it";
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
    // Lock: one change of the list at a time. A dry run writes nothing, and takes no lock.
    o = lock();
    // Another change may have replaced the list while the lock was awaited (--wait): the list
    // read must be the list judged.
    if (o.ok()) o = judgeAgain();
  }
  // Read: the list through its folder's descriptor, kept open to install over only that file.
  if (o.ok()) o = read();
  // What an install cut short left is put right first, so that NAME- is the version just
  // replaced once this change is made.
  if (o.ok() && !o_.dryRun) o = repair();
  if (o.ok() && !step.editable()) o = readAsOneLine();
  if (!o.ok()) return finish(o);
  // Change the copy, check it and confirm what needs it; at a terminal the operator may edit
  // the copy again.
  const ListAsRead list{place_, list_.bytes, before_, invoker_};
  std::string after;
  Report next;
  for (;;) {
    o = step.make(list, after);
    if (!o.ok()) return finish(o);
    if (after == list_.bytes) return unchanged(o.message);
    next = checkList(step.newName(o_.file), after);
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
  // Install: exchanged with the list, the previous version kept beside it; reported and put
  // on record.
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

Outcome Change::repair() {
  if (!place_.exists) return done();
  const std::vector<Leftover> found = leftoversOf(place_, o_.trusted);
  std::vector<std::string> said;
  for (const Leftover &l : found) {
    if (l.kind == Leftover::Copy) continue;
    said.push_back(describeLeftover(l, place_));
    if (l.kind != Leftover::Replaced) continue;
    // The change that was cut short was never put on record: it is now.
    const Report replaced = checkList(l.path, l.bytes);
    log(place_.live(), "installed by a change that was cut short, found now: " +
                           loggedChanges(compareTables(replaced, before_)));
  }
  if (said.empty()) return done();
  Outcome put = repairLeftovers(place_, found);
  if (!put.ok()) return put;
  for (const std::string &s : said) {
    printLine(stderr, o_.file + ": put right: " + s);
    repaired_.push_back(s);
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

Outcome Change::install(const std::string &after, const Report &next) {
  // From the first new file until the list is in place, its previous version kept, the change
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
  Outcome o = install.prepare(after, attrs, place_.exists);
  if (o.ok()) o = install.commit();
  installed_ = install.installed();
  if (installed_) {
    // Installed all the same: the one report says so, with what went wrong after.
    report(next, true, install.previousKept(), o.ok() ? "" : o.message);
    if (!o.ok()) printLine(stderr, "tolvane-list: " + o.message);
    std::fflush(nullptr);
    return o.ok() ? o : trouble(o.message);
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
      log(place_.exists ? place_.live() : o_.file,
          "refused: " + logQuoted(o.message) + " [" + o.code + "]");
    }
  } else if (o.kind == Outcome::Trouble) {
    printLine(stderr, "tolvane-list: " + o.message);
  }
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
  if (!o.ok()) {
    const std::string where = step_->keepWork();
    if (!where.empty()) printLine(stderr, o_.file + ": your edit is in " + where);
  }
  std::fflush(nullptr);
  // A signal that came while the install was tried acts now, with everything said.
  if (signalsHeld_) releaseAllSignals();
  return o.exitStatus();
}

int Change::unchanged(const std::string &note) {
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
  }
  return kClean;
}

void Change::report(const Report &next, bool installed, bool previousKept,
                    const std::string &trouble) {
  const std::vector<TableChange> changes = compareTables(before_, next);
  const std::string despite = despite_.empty() ? "" : " despite " + despite_;
  if (installed) log(place_.live(), "installed" + despite + ": " + loggedChanges(changes));
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
  if (left.kind == Outcome::Refused)
    printLine(stderr, o_.file + ": error: " + left.message + " [" + left.code + "]");
}

void Change::log(const std::string &list, const std::string &what) {
  const Outcome sent = sendToSystemLog(logQuoted(list) + ": " + step_->verb() + " by " +
                                       logText(invoker_.shown()) + ": " + what);
  // A change that could not be put on record says so, once, and goes on: it was made.
  if (sent.ok() || !notLogged_.empty()) return;
  notLogged_ = sent.message;
  printLine(stderr, o_.file + ": not logged: " + notLogged_);
}

void Change::annotate(nlohmann::json &doc) const {
  if (!repaired_.empty()) doc["repaired"] = repaired_;
  if (!notLogged_.empty()) doc["notLogged"] = notLogged_;
}

}  // namespace tl
