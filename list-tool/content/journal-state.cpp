#include "content/journal-state.h"

#include <algorithm>
#include <iterator>

namespace tl {
namespace {

// Drops the entries of `list` whose id is `id`.
void dropId(std::vector<JournalEntry> &list, const std::string &id) {
  list.erase(
      std::remove_if(list.begin(), list.end(), [&id](const JournalEntry &e) { return e.id == id; }),
      list.end());
}

// What an install entry installed, as the version the list should be.
JournalVersion installed(const JournalEntry &install) {
  JournalVersion v;
  v.id = install.id;
  v.at = install.at;
  v.digest = install.install;
  v.table = install.table;
  v.install = install;
  return v;
}

// Applies one entry to the state.
void apply(JournalState &s, const JournalEntry &e) {
  s.any = true;
  switch (e.kind) {
    case JournalEntry::Start:
      s.open = true;
      s.start = e;
      s.hasStart = true;
      s.hasInstall = false;
      return;
    case JournalEntry::Install:
      if (!s.hasStart || s.start.id != e.id) s.hasStart = false;
      s.open = true;
      s.install = e;
      s.hasInstall = true;
      return;
    case JournalEntry::End:
    case JournalEntry::Repair: {
      const bool ofOpen =
          s.open && ((s.hasInstall && s.install.id == e.id) || (s.hasStart && s.start.id == e.id));
      const bool done = e.result == "installed" || e.result == "completed";
      if (ofOpen && done && s.hasInstall) {
        s.last = installed(s.install);
        s.change = s.last;
      }
      if (ofOpen) {
        s.open = false;
        s.hasStart = s.hasInstall = false;
      }
      dropId(s.unlogged, e.id);
      if (!e.logged) s.unlogged.push_back(e);
      if (!e.kept.path.empty()) s.kept.push_back(e);
      return;
    }
    case JournalEntry::Outside:
      s.last = {e.id, e.at, e.after, e.table, true, JournalEntry{}, e};
      if (!e.logged) s.unlogged.push_back(e);
      return;
    case JournalEntry::Logged:
      dropId(s.unlogged, e.id);
      return;
    case JournalEntry::State:
      // What the journal before held that still counts: the state starts again from it.
      s = JournalState{};
      for (const JournalEntry &c : e.carried) apply(s, c);
      s.any = true;
      return;
  }
}

}  // namespace

JournalState stateOf(const std::vector<JournalEntry> &entries) {
  JournalState s;
  for (const JournalEntry &e : entries) apply(s, e);
  return s;
}

std::vector<JournalEntry> carriedOver(const JournalState &s) {
  std::vector<JournalEntry> out;
  const auto unlogged = [&s](const JournalEntry &e) {
    for (const JournalEntry &u : s.unlogged) {
      if (u.id == e.id && u.kind == e.kind) return true;
    }
    return false;
  };
  // The entry that closed the last change comes after its install, and the outside change found
  // since it comes last: each in its place below.
  const auto closes = [&s](const JournalEntry &e) {
    return e.id == s.change.id && (e.kind == JournalEntry::End || e.kind == JournalEntry::Repair);
  };
  const auto foundLast = [&s](const JournalEntry &e) {
    return s.last.outside && e.kind == JournalEntry::Outside && e.id == s.last.id;
  };
  // Copies kept, and lines still due, oldest first, each list in its own order (an outside change
  // among them sets nothing that the entries after it do not set again).
  std::vector<JournalEntry> kept, due;
  for (const JournalEntry &e : s.kept) {
    if (!unlogged(e)) kept.push_back(e);
  }
  const JournalEntry *changeEnd = nullptr;
  for (const JournalEntry &e : s.unlogged) {
    if (closes(e)) {
      changeEnd = &e;
    } else if (!foundLast(e)) {
      due.push_back(e);
    }
  }
  std::merge(kept.begin(), kept.end(), due.begin(), due.end(), std::back_inserter(out),
             [](const JournalEntry &a, const JournalEntry &b) { return a.at < b.at; });
  // The last change installed, with its own end (unlogged, or an end that says it installed).
  if (!s.change.digest.empty()) {
    out.push_back(s.change.install);
    JournalEntry end;
    end.kind = JournalEntry::End;
    end.id = s.change.id;
    end.at = s.change.at;
    end.result = "installed";
    out.push_back(changeEnd != nullptr ? *changeEnd : end);
  }
  // An outside change found since, as it was put on record (its line due, or sent).
  if (s.last.outside) {
    JournalEntry outside = s.last.found;
    if (!unlogged(outside)) {
      outside.logged = true;
      outside.notLogged.clear();
    }
    out.push_back(outside);
  }
  return out;
}

}  // namespace tl
