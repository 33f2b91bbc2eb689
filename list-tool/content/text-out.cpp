#include "content/text-out.h"

#include <vector>

#include "content/shown.h"
#include "content/table-diff.h"

namespace tl {
namespace {

std::string place(const std::string &name, const Loaded &l) {
  return name + ":" + std::to_string(l.line);
}

}  // namespace

void printLine(FILE *out, const std::string &text) {
  if (out == stderr) std::fflush(stdout);  // what came before stays before, whatever is piped
  const std::string shown = escaped(text);
  std::fwrite(shown.data(), 1, shown.size(), out);
  std::fputc('\n', out);
}

std::string withRootHint(const std::string &message, bool root) {
  const bool refused = message.find("Permission denied") != std::string::npos ||
                       message.find("Operation not permitted") != std::string::npos;
  return refused && !root ? message + " (run tolvane-list as root, or through sudo)" : message;
}

void printFinding(FILE *out, const std::string &file, const Finding &f) {
  const std::string head =
      f.line == 0 ? file + ": "
                  : file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + ": ";
  printLine(out, head + severityName(f.severity) + ": " + f.message + " [" + f.code + "]");
  if (f.line == 0) return;
  std::fprintf(out, "%5d | %s\n      | %*s^\n", f.line, escaped(f.source).c_str(),
               static_cast<int>(f.caret), "");
}

void printText(FILE *out, const Report &r) {
  for (const Finding &f : r.findings) printFinding(out, r.file, f);
  printLine(out, r.file + ": " + std::to_string(r.records.size()) + " record" +
                     (r.records.size() == 1 ? "" : "s") + " the plug-in loads");
  if (r.records.empty()) return;
  std::fprintf(out, "  slot  line  %-10s  %-10s  addresses\n", "rSeed", "pSeed");
  for (const Loaded &l : r.records) {
    const std::string p = shownPSeed(l.rec.pSeed);
    std::fprintf(out, "  %4d  %4d  %-10u  %-10s  %s to %s\n", l.slot, l.line, l.rec.rSeed,
                 p.c_str(), dotted(l.rec.ipMin).c_str(), dotted(l.rec.ipMax).c_str());
  }
}

std::string describeRecord(const Loaded &l, const char *hash) {
  std::string s = "registration seed " + std::to_string(l.rec.rSeed) + ", PUID seed " +
                  shownPSeed(l.rec.pSeed) + ", " + dotted(l.rec.ipMin) + " to " +
                  dotted(l.rec.ipMax);
  if (!l.comment.empty()) s += hash + l.comment;
  return s;
}

void printChanges(FILE *out, const Report &before, const Report &after,
                  const std::string &beforeName, const std::string &afterName) {
  const std::string &bn = beforeName.empty() ? before.file : beforeName;
  const std::string &an = afterName.empty() ? after.file : afterName;
  const std::vector<TableChange> changes = compareTables(before, after);
  for (const TableChange &c : changes) {
    switch (c.kind) {
      case TableChange::Added:
        printLine(out, "+ " + place(an, *c.after) + ": slot " + std::to_string(c.after->slot) +
                           ": " + describeRecord(*c.after));
        break;
      case TableChange::Removed:
        printLine(out, "- " + place(bn, *c.before) + ": slot " + std::to_string(c.before->slot) +
                           ": " + describeRecord(*c.before));
        break;
      case TableChange::Moved:
        printLine(out, "~ " + place(an, *c.after) + ": slot " + std::to_string(c.after->slot) +
                           ", was slot " + std::to_string(c.before->slot) + " (" +
                           place(bn, *c.before) + "): " + describeRecord(*c.after));
        break;
    }
  }
  if (sameTable(before, after)) {
    const size_t na = after.records.size();
    printLine(out, bn + " -> " + an + ": the same table of " + std::to_string(na) + " record" +
                       (na == 1 ? "" : "s"));
    return;
  }
  printLine(out, bn + " -> " + an + ": " + changeSummary(before, after, changes));
}

}  // namespace tl
