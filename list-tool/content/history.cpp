#include "content/history.h"

#include <algorithm>
#include <map>

namespace tl {
namespace {

// The entries with those a rotated journal carried over put in their place, each once.
std::vector<JournalEntry> flattened(const std::vector<JournalEntry> &entries) {
  std::vector<JournalEntry> out;
  std::map<std::pair<int, std::string>, bool> seen;
  const auto add = [&](const JournalEntry &e) {
    const auto key = std::make_pair(static_cast<int>(e.kind), e.id);
    if (e.kind != JournalEntry::Logged && seen[key]) return;
    seen[key] = true;
    out.push_back(e);
  };
  for (const JournalEntry &e : entries) {
    if (e.kind != JournalEntry::State) {
      add(e);
      continue;
    }
    for (const JournalEntry &c : e.carried) add(c);
  }
  return out;
}

}  // namespace

std::vector<HistoryItem> historyOf(const std::vector<JournalEntry> &entries) {
  std::vector<HistoryItem> items;
  std::map<std::string, size_t> changes;  // by id: where in `items`
  const auto itemOf = [&](const JournalEntry &e) -> HistoryItem & {
    const auto it = changes.find(e.id);
    if (it != changes.end()) return items[it->second];
    HistoryItem h;
    h.id = e.id;
    h.at = e.at;
    h.verb = e.verb;
    h.by = e.by;
    changes[e.id] = items.size();
    items.push_back(h);
    return items.back();
  };
  for (const JournalEntry &e : flattened(entries)) {
    switch (e.kind) {
      case JournalEntry::Start:
        itemOf(e);
        break;
      case JournalEntry::Install: {
        HistoryItem &h = itemOf(e);
        h.verb = e.verb;
        h.by = e.by;
        h.changes = e.changes;
        h.despite = e.despite;
        h.result = "cut short";
        h.cutShort = true;
        break;
      }
      case JournalEntry::End: {
        if (changes.count(e.id) == 0) break;
        HistoryItem &h = itemOf(e);
        h.cutShort = false;
        h.result = e.result;
        h.installed = e.result == "installed";
        h.why = e.why;
        h.logged = e.logged;
        if (!e.kept.path.empty()) h.kept = e.kept.path;
        break;
      }
      case JournalEntry::Repair: {
        if (changes.count(e.id) == 0) break;
        HistoryItem &h = itemOf(e);
        h.cutShort = true;
        h.result = "cut short";
        h.installed = e.result == "completed";
        h.cutShortSaid = e.why;
        h.putRightBy = e.writer;
        h.logged = e.logged;
        if (!e.kept.path.empty()) h.kept = e.kept.path;
        break;
      }
      case JournalEntry::Outside: {
        HistoryItem h;
        h.kind = HistoryItem::Outside;
        h.id = e.id;
        h.at = e.at;
        h.installed = true;
        h.logged = e.logged;
        h.changes = e.changes;
        h.foundBy = e.writer;
        h.verb = e.verb;
        h.by = e.by;
        changes[e.id] = items.size();
        items.push_back(h);
        break;
      }
      case JournalEntry::Logged: {
        const auto it = changes.find(e.id);
        if (it == changes.end()) break;
        items[it->second].loggedLate = e.writer;
        items[it->second].loggedAt = e.at;
        break;
      }
      case JournalEntry::State:
        break;
    }
  }
  // An edit that changed nothing, and kept nothing, is no change of the list.
  items.erase(std::remove_if(items.begin(), items.end(),
                             [](const HistoryItem &h) {
                               return h.kind == HistoryItem::Change && !h.installed &&
                                      !h.cutShort && h.kept.empty() &&
                                      (h.result == "unchanged" || h.result.empty());
                             }),
              items.end());
  std::reverse(items.begin(), items.end());
  return items;
}

}  // namespace tl
