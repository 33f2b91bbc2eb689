#include "content/json-out.h"

#include <optional>

#include "content/grant-end.h"
#include "content/shown.h"

namespace tl {
namespace {

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

nlohmann::json findingJson(const Finding &f) {
  return {{"line", f.line},
          {"column", f.column},
          {"severity", severityName(f.severity)},
          {"code", f.code},
          {"message", f.message}};
}

nlohmann::json recordJson(const Loaded &l) {
  nlohmann::json j = {{"slot", l.slot},
                      {"line", l.line},
                      {"column", l.column},
                      {"rSeed", l.rec.rSeed},
                      {"pSeed", l.rec.pSeed},
                      {"ipMin", dotted(l.rec.ipMin)},
                      {"ipMax", dotted(l.rec.ipMax)},
                      {"comment", l.comment}};
  // A grant that ends: its end, as its note names it.
  const std::optional<UtcSeconds> end = grantEnd(l.comment);
  if (end) j["until"] = untilText(*end);
  return j;
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

void printJson(FILE *out, const nlohmann::json &doc) {
  const std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  // The characters that set the direction of text as \uXXXX: the same string to a JSON reader.
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    unsigned cp = 0;
    const size_t n = static_cast<unsigned char>(text[i]) >= 0x80 ? utf8At(text, i, cp) : 0;
    if (n > 0 && setsDirection(cp)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", cp);
      shown += escape;
    } else {
      shown.append(text, i, n > 0 ? n : 1);
    }
    i += n > 0 ? n : 1;
  }
  std::fprintf(out, "%s\n", shown.c_str());
}

}  // namespace tl
