#include "content/json-out.h"

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

void printJson(FILE *out, const nlohmann::json &doc) {
  const std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  // Such characters are three bytes (E2 80 8E, ...) or two (D8 9C), and stand only in strings.
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    unsigned cp = 0;
    if ((n == 2 || n == 3) && i + n <= text.size()) {
      cp = b & (n == 3 ? 0x0Fu : 0x1Fu);
      for (size_t k = 1; k < n; ++k)
        cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    if (cp != 0 && setsDirection(cp)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", cp);
      shown += escape;
      i += n - 1;
      continue;
    }
    shown += text[i];
  }
  std::fprintf(out, "%s\n", shown.c_str());
}

}  // namespace tl
