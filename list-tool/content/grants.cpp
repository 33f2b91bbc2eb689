#include "content/grants.h"

#include <algorithm>

#include "content/lines.h"
#include "content/shown.h"

namespace tl {

std::vector<Finding> grantFindings(const Report &r, const std::string &bytes, UtcSeconds now) {
  std::vector<Finding> out;
  for (const Loaded &l : r.records) {
    const std::optional<UtcSeconds> end = grantEnd(l.comment);
    if (!end || *end - now > kEndingSoon) continue;
    const std::string text = lineAt(bytes, l.line);
    const size_t at = text.rfind("until ");
    const SourceLine shown = sourceLine(text, at == std::string::npos ? 0 : at);
    const std::string whose = noteWithoutEnd(l.comment).empty()
                                  ? "this grant"
                                  : "the grant to '" + noteWithoutEnd(l.comment) + "'";
    Finding f{l.line,
              static_cast<int>(at == std::string::npos ? 0 : at) + 1,
              Severity::Note,
              "grant-ending",
              "",
              shown.text,
              shown.caret};
    if (*end <= now) {
      f.severity = Severity::Error;
      f.code = "grant-ended";
      f.message = whose + " ended at " + untilText(*end) + " (slot " + std::to_string(l.slot) +
                  "), but the plug-in still recognises this record until it is taken out: "
                  "tolvane-list expire takes out every grant that has ended";
    } else {
      f.message =
          whose + " ends at " + untilText(*end) + ", in " + timeLeft(*end, now) + " (slot " +
          std::to_string(l.slot) +
          "); then tolvane-list expire takes it out (tolvane-list add --until to extend it)";
    }
    out.push_back(f);
  }
  return out;
}

std::vector<const Loaded *> endedGrants(const Report &r, UtcSeconds now) {
  std::vector<const Loaded *> out;
  for (const std::vector<Loaded> *t : {&r.records, &r.ignored}) {
    for (const Loaded &l : *t) {
      const std::optional<UtcSeconds> end = grantEnd(l.comment);
      if (end && *end <= now) out.push_back(&l);
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Loaded *a, const Loaded *b) { return a->line < b->line; });
  return out;
}

}  // namespace tl
