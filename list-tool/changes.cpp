#include "changes.h"

#include "format.h"

namespace tl {
namespace {

std::string describe(const Loaded &l) {
  std::string s = "registration seed " + std::to_string(l.rec.rSeed) + ", PUID seed " +
                  shownPSeed(l.rec.pSeed) + ", " + dotted(l.rec.ipMin) + " to " +
                  dotted(l.rec.ipMax);
  if (!l.comment.empty()) s += "   # " + l.comment;
  return s;
}

std::string place(const std::string &name, const Loaded &l) {
  return name + ":" + std::to_string(l.line);
}

}  // namespace

std::vector<Change> compareTables(const Report &before, const Report &after) {
  const std::vector<Loaded> &a = before.records;
  const std::vector<Loaded> &b = after.records;
  // Pair each new record with the first unpaired old one of the same value.
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
  // The longest run of pairs in their old order stays; the other pairs moved.
  const size_t n = b.size();
  std::vector<size_t> len(n, 0), prev(n, n);
  size_t best = n;
  for (size_t j = 0; j < n; ++j) {
    if (pairOf[j] < 0) continue;
    len[j] = 1;
    for (size_t k = 0; k < j; ++k) {
      if (pairOf[k] >= 0 && pairOf[k] < pairOf[j] && len[k] + 1 > len[j]) {
        len[j] = len[k] + 1;
        prev[j] = k;
      }
    }
    if (best == n || len[j] > len[best]) best = j;
  }
  std::vector<bool> stays(n, false);
  for (size_t j = best; j < n; j = prev[j]) stays[j] = true;
  std::vector<Change> out;
  for (size_t j = 0; j < n; ++j) {
    if (pairOf[j] < 0) {
      out.push_back({Change::Added, nullptr, &b[j]});
    } else if (!stays[j]) {
      out.push_back({Change::Moved, &a[static_cast<size_t>(pairOf[j])], &b[j]});
    }
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!paired[i]) out.push_back({Change::Removed, &a[i], nullptr});
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

void printChanges(FILE *out, const Report &before, const Report &after,
                  const std::string &beforeName, const std::string &afterName) {
  const std::string &bn = beforeName.empty() ? before.file : beforeName;
  const std::string &an = afterName.empty() ? after.file : afterName;
  int added = 0, removed = 0, moved = 0;
  for (const Change &c : compareTables(before, after)) {
    switch (c.kind) {
      case Change::Added:
        ++added;
        std::fprintf(out, "+ %s: slot %d: %s\n", place(an, *c.after).c_str(), c.after->slot,
                     describe(*c.after).c_str());
        break;
      case Change::Removed:
        ++removed;
        std::fprintf(out, "- %s: slot %d: %s\n", place(bn, *c.before).c_str(), c.before->slot,
                     describe(*c.before).c_str());
        break;
      case Change::Moved:
        ++moved;
        std::fprintf(out, "~ %s: slot %d, was slot %d (%s): %s\n", place(an, *c.after).c_str(),
                     c.after->slot, c.before->slot, place(bn, *c.before).c_str(),
                     describe(*c.after).c_str());
        break;
    }
  }
  const size_t nb = before.records.size(), na = after.records.size();
  if (sameTable(before, after)) {
    std::fprintf(out, "%s -> %s: the same table of %zu record%s\n", bn.c_str(), an.c_str(), na,
                 na == 1 ? "" : "s");
    return;
  }
  std::fprintf(out, "%s -> %s: %d added, %d removed, %d moved; %zu record%s before, %zu after\n",
               bn.c_str(), an.c_str(), added, removed, moved, nb, nb == 1 ? "" : "s", na);
}

}  // namespace tl
