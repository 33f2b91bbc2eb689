#include "content/table-diff.h"

namespace tl {
namespace {

bool coveredBy(const Tolvane &r, const std::vector<Loaded> &table) {
  for (const Loaded &l : table) {
    if (covers(l.rec, r)) return true;
  }
  return false;
}

}  // namespace

std::vector<TableChange> compareTables(const Report &before, const Report &after) {
  const std::vector<Loaded> &a = before.records;
  const std::vector<Loaded> &b = after.records;
  // Pair each new record with the first unpaired old one of the same identity.
  std::vector<int> pairOf(b.size(), -1);
  std::vector<bool> paired(a.size(), false);
  for (size_t j = 0; j < b.size(); ++j) {
    for (size_t i = 0; i < a.size(); ++i) {
      if (!paired[i] && sameRecord(a[i].rec, b[j].rec)) {
        paired[i] = true;
        pairOf[j] = static_cast<int>(i);
        break;
      }
    }
  }
  // Each old record's place among the kept ones.
  std::vector<int> oldRank(a.size(), -1);
  int rank = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (paired[i]) oldRank[i] = rank++;
  }
  std::vector<TableChange> out;
  rank = 0;
  for (size_t j = 0; j < b.size(); ++j) {
    if (pairOf[j] < 0) {
      out.push_back({TableChange::Added, nullptr, &b[j], !coveredBy(b[j].rec, a)});
      continue;
    }
    const auto i = static_cast<size_t>(pairOf[j]);
    if (oldRank[i] != rank++) out.push_back({TableChange::Moved, &a[i], &b[j], false});
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!paired[i]) out.push_back({TableChange::Removed, &a[i], nullptr, !coveredBy(a[i].rec, b)});
  }
  return out;
}

bool sameTable(const Report &before, const Report &after) {
  if (before.records.size() != after.records.size()) return false;
  for (size_t i = 0; i < before.records.size(); ++i) {
    if (!sameRecord(before.records[i].rec, after.records[i].rec)) return false;
  }
  return true;
}

std::string changeSummary(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes) {
  int added = 0, removed = 0, moved = 0, gain = 0, lose = 0;
  for (const TableChange &c : changes) {
    if (c.kind == TableChange::Added) ++added;
    if (c.kind == TableChange::Removed) ++removed;
    if (c.kind == TableChange::Moved) ++moved;
    if (c.reach) ++(c.kind == TableChange::Added ? gain : lose);
  }
  const size_t nb = before.records.size(), na = after.records.size();
  const auto users = [](int n) {
    return n == 0 ? std::string("none")
                  : std::to_string(n) + " record" + (n == 1 ? "'s" : "s'") + " users";
  };
  return std::to_string(added) + " added, " + std::to_string(removed) + " removed, " +
         std::to_string(moved) + " moved; " + std::to_string(nb) + " record" +
         (nb == 1 ? "" : "s") + " before, " + std::to_string(na) +
         " after; who gains: " + users(gain) + "; who loses: " + users(lose);
}

}  // namespace tl
