#include "change/judgement.h"

#include <algorithm>
#include <utility>

#include "content/cut-short.h"
#include "content/digest.h"
#include "content/journal-state.h"
#include "content/shown.h"
#include "content/table-diff.h"
#include "files/beside-list.h"
#include "files/file-system.h"
#include "files/previous-version.h"
#include "files/work-copy.h"

namespace tl {
namespace {

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

// The findings beside the journal's: a previous version no change could have kept, and a file
// system that can stall a reload.
std::vector<Finding> whatElse(const ListPlace &place, const Trusted &trusted) {
  std::vector<Finding> out;
  Outcome previous = judgePreviousVersion(place, trusted);
  if (previous.kind == Outcome::Refused)
    out.push_back({0, 0, Severity::Warning, previous.code, previous.message, "", 0});
  const std::string stalling = stallingFileSystemOf(place.dir.get());
  if (!stalling.empty()) {
    out.push_back(
        {0, 0, Severity::Warning, "may-stall",
         "the list lies on " + stalling + " (" + place.folder +
             "): when whatever serves it stops answering, opening the list waits for it, and the "
             "plug-in's reload stalls the chat server for as long as that lasts (keep the list on "
             "a local file system)",
         "", 0});
  }
  return out;
}

// The findings of `a`, then those of `b`.
std::vector<Finding> operator+(std::vector<Finding> a, const std::vector<Finding> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

FileFound asFound(const FoundFile &f) {
  return {f.there, f.plain, f.plain ? digestOf(f.bytes) : ""};
}

std::string changeNamed(const JournalEntry &e) {
  return "change " + e.id + " (" + e.verb + " by " + e.by.shown() + ", " + utcTime(e.at) + ")";
}

std::string digestOrNone(bool there, const std::string &bytes) {
  return there ? digestOf(bytes) : "";
}

std::vector<Finding> guardFindings(const ListPlace &place) {
  std::vector<Finding> out;
  for (const GuardFinding &g : place.findings)
    out.push_back({0, 0, g.error ? Severity::Error : Severity::Warning, g.code, g.message, "", 0});
  return out;
}

Outcome readJournalAt(const ListPlace &place, const Trusted &trusted, bool write, JournalFile &file,
                      std::vector<JournalEntry> &entries) {
  std::vector<std::string> lines;
  size_t rotated = 0;
  Outcome o = file.open(place, trusted, write);
  if (o.ok()) o = file.read(lines, rotated);
  if (!o.ok()) return o;
  JournalDamage damage;
  if (!parseJournal(lines, entries, damage)) return damagedJournal(place, file, damage, rotated);
  return done();
}

std::vector<Finding> besideFindings(const ListPlace &place, const Trusted &trusted,
                                    const std::string &bytes, const Report &report) {
  std::vector<Finding> out;
  const auto add = [&out](Severity s, const std::string &code, const std::string &message) {
    out.push_back({0, 0, s, code, message, "", 0});
  };
  JournalFile file;
  std::vector<JournalEntry> entries;
  Outcome o = readJournalAt(place, trusted, false, file, entries);
  if (!o.ok()) {
    add(Severity::Error, o.kind == Outcome::Refused ? o.code : "journal-unreadable", o.message);
    return out + whatElse(place, trusted);
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
  return out + whatElse(place, trusted);
}

}  // namespace tl
