#include "report.h"

#include <nlohmann/json.hpp>

#include "format.h"

namespace tl {
namespace {

const char *severity(Severity s) {
  return s == Severity::Error ? "error" : "warning";
}

}  // namespace

void printFinding(FILE *out, const std::string &file, const Finding &f) {
  if (f.line == 0) {
    std::fprintf(out, "%s: %s: %s [%s]\n", file.c_str(), severity(f.severity), f.message.c_str(),
                 f.code.c_str());
    return;
  }
  std::fprintf(out, "%s:%d:%d: %s: %s [%s]\n", file.c_str(), f.line, f.column, severity(f.severity),
               f.message.c_str(), f.code.c_str());
  std::fprintf(out, "%5d | %s\n      | %*s^\n", f.line, f.source.c_str(), static_cast<int>(f.caret),
               "");
}

void printText(FILE *out, const Report &r) {
  for (const Finding &f : r.findings) printFinding(out, r.file, f);
  std::fprintf(out, "%s: %zu record%s the plug-in loads\n", r.file.c_str(), r.records.size(),
               r.records.size() == 1 ? "" : "s");
  if (r.records.empty()) return;
  std::fprintf(out, "  slot  line  %-10s  %-10s  addresses\n", "rSeed", "pSeed");
  for (const Loaded &l : r.records) {
    const std::string p = shownPSeed(l.rec.pSeed);
    std::fprintf(out, "  %4d  %4d  %-10u  %-10s  %s to %s\n", l.slot, l.line, l.rec.rSeed,
                 p.c_str(), dotted(l.rec.ipMin).c_str(), dotted(l.rec.ipMax).c_str());
  }
}

void printJson(FILE *out, const std::vector<Report> &reports) {
  nlohmann::json files = nlohmann::json::array();
  for (const Report &r : reports) {
    nlohmann::json findings = nlohmann::json::array();
    for (const Finding &f : r.findings) {
      findings.push_back({{"line", f.line},
                          {"column", f.column},
                          {"severity", severity(f.severity)},
                          {"code", f.code},
                          {"message", f.message}});
    }
    nlohmann::json records = nlohmann::json::array();
    for (const Loaded &l : r.records) {
      records.push_back({{"slot", l.slot},
                         {"line", l.line},
                         {"column", l.column},
                         {"rSeed", l.rec.rSeed},
                         {"pSeed", l.rec.pSeed},
                         {"ipMin", dotted(l.rec.ipMin)},
                         {"ipMax", dotted(l.rec.ipMax)}});
    }
    files.push_back({{"file", r.file}, {"findings", findings}, {"records", records}});
  }
  const nlohmann::json doc = {{"files", files}};
  // Bytes of the file that are not UTF-8 are replaced rather than refused.
  std::fprintf(out, "%s\n",
               doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace tl
