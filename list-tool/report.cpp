#include "report.h"

#include <nlohmann/json.hpp>

#include "format.h"
#include "safe-text.h"

namespace tl {
namespace {

const char *severity(Severity s) {
  return s == Severity::Error ? "error" : "warning";
}

const char *kindName(TableChange::Kind k) {
  switch (k) {
    case TableChange::Added:
      return "added";
    case TableChange::Removed:
      return "removed";
    case TableChange::Moved:
      break;
  }
  return "moved";
}

}  // namespace

void printFinding(FILE *out, const std::string &file, const Finding &f) {
  const std::string head =
      f.line == 0 ? file + ": "
                  : file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + ": ";
  printLine(out, head + severity(f.severity) + ": " + f.message + " [" + f.code + "]");
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

nlohmann::json findingJson(const Finding &f) {
  return {{"line", f.line},
          {"column", f.column},
          {"severity", severity(f.severity)},
          {"code", f.code},
          {"message", f.message}};
}

nlohmann::json recordJson(const Loaded &l) {
  return {{"slot", l.slot},
          {"line", l.line},
          {"column", l.column},
          {"rSeed", l.rec.rSeed},
          {"pSeed", l.rec.pSeed},
          {"ipMin", dotted(l.rec.ipMin)},
          {"ipMax", dotted(l.rec.ipMax)},
          {"comment", l.comment}};
}

nlohmann::json reportJson(const Report &r) {
  nlohmann::json findings = nlohmann::json::array();
  for (const Finding &f : r.findings) findings.push_back(findingJson(f));
  nlohmann::json records = nlohmann::json::array();
  for (const Loaded &l : r.records) records.push_back(recordJson(l));
  return {{"file", r.file}, {"findings", findings}, {"records", records}};
}

nlohmann::json changeJson(const Report &before, const Report &after,
                          const std::vector<TableChange> &changes) {
  nlohmann::json list = nlohmann::json::array();
  for (const TableChange &c : changes) {
    nlohmann::json one = {{"kind", kindName(c.kind)}};
    one["before"] = c.before != nullptr ? recordJson(*c.before) : nlohmann::json();
    one["after"] = c.after != nullptr ? recordJson(*c.after) : nlohmann::json();
    if (c.kind != TableChange::Moved) one["reach"] = c.reach;
    list.push_back(one);
  }
  return {{"changes", list},
          {"sameTable", sameTable(before, after)},
          {"summary", changeSummary(before, after, changes)}};
}

void printJsonDocument(FILE *out, const nlohmann::json &doc) {
  std::fprintf(out, "%s\n",
               doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace tl
