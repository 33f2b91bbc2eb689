// diff: what the plug-in would load differently from OLD and from NEW, and, for a user, whether
// they gain or lose recognition. A file named as a previous version (NAME-) that no change could
// have kept is named first.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "cli.h"
#include "command.h"
#include "content/json-out.h"
#include "content/recognition.h"
#include "content/shown.h"
#include "content/table-diff.h"
#include "content/text-out.h"
#include "files/list-file.h"
#include "files/paths.h"
#include "files/previous-version.h"

namespace tl {
namespace {

struct DiffOptions {
  std::string before, after;
  UserOptions user;
  bool json = false;
};

// A file named as a previous version (NAME-) that no change could have kept: the file, and why.
struct NotPrevious {
  std::string file;
  Outcome why;
};

std::vector<NotPrevious> notPrevious(const DiffOptions &o) {
  std::vector<NotPrevious> out;
  for (const std::string *file : {&o.before, &o.after}) {
    const std::string name = nameOf(*file);
    if (name.size() < 2 || name.back() != '-') continue;
    Outcome judged = judgePreviousVersionAt(*file, Trusted{});
    if (judged.kind == Outcome::Refused) out.push_back({*file, judged});
  }
  return out;
}

int diff(const DiffOptions &o) {
  const std::vector<NotPrevious> warnings = notPrevious(o);
  nlohmann::json said = nlohmann::json::array();
  for (const NotPrevious &w : warnings) {
    if (o.json) {
      said.push_back({{"file", w.file}, {"code", w.why.code}, {"message", w.why.message}});
    } else {
      printLine(stdout, w.file + ": warning: " + w.why.message + " [" + w.why.code + "]");
    }
  }
  std::string a, b;
  Outcome read = readListAt(o.before, a);
  if (read.ok()) read = readListAt(o.after, b);
  read.message = withRootHint(read.message, geteuid() == 0);
  if (!read.ok()) {
    printLine(stderr, "tolvane-list: " + read.message);
    if (o.json) {
      nlohmann::json doc = {{"old", o.before}, {"new", o.after}, {"error", read.message}};
      if (!said.empty()) doc["warnings"] = said;
      printJson(stdout, doc);
    }
    return read.exitStatus();
  }
  const Report ra = checkList(o.before, a);
  const Report rb = checkList(o.after, b);
  TvProbe user{};
  if (o.user.given()) {
    Outcome given = o.user.probe(user);
    if (!given.ok()) return usageError(given.message, o.json);
  }
  nlohmann::json doc;
  std::string userLine;
  if (o.user.given()) {
    const int was = recognisedBy(ra, user), is = recognisedBy(rb, user);
    const std::string verdict = was == 0 && is == 0 ? "not recognised before or after"
                                : was == 0          ? "gains recognition"
                                : is == 0           ? "loses recognition"
                                                    : "recognised before and after";
    userLine = "user (registration seed " + std::to_string(user.rSeed) + ", PUID seed " +
               std::to_string(user.pSeed) + ", address " + dotted(user.ipAdr) + "): " + verdict +
               (was != 0 ? "; before by slot " + std::to_string(was) : "") +
               (is != 0 ? "; after by slot " + std::to_string(is) : "");
    doc["user"] = {{"rSeed", user.rSeed},
                   {"pSeed", user.pSeed},
                   {"address", dotted(user.ipAdr)},
                   {"before", was != 0 ? nlohmann::json(was) : nullptr},
                   {"after", is != 0 ? nlohmann::json(is) : nullptr},
                   {"verdict", verdict}};
  }
  if (o.json) {
    const nlohmann::json changes = changeJson(ra, rb, compareTables(ra, rb));
    doc["old"] = o.before;
    doc["new"] = o.after;
    if (!said.empty()) doc["warnings"] = said;
    for (auto it = changes.begin(); it != changes.end(); ++it) doc[it.key()] = it.value();
    printJson(stdout, doc);
  } else {
    printChanges(stdout, ra, rb);
    if (!userLine.empty()) printLine(stdout, userLine);
  }
  return sameTable(ra, rb) ? kClean : kFindings;
}

}  // namespace

Subcommand defineDiff(CLI::App &tool) {
  auto o = std::make_shared<DiffOptions>();
  CLI::App *sub =
      tool.add_subcommand("diff", "Compare the tables the plug-in loads from OLD and from NEW");
  sub->add_option("OLD", o->before, "list file")->required();
  sub->add_option("NEW", o->after, "list file")->required();
  o->user.add(sub, false);
  sub->add_flag("--json", o->json, "the changes as JSON");
  sub->footer("Exit status: 0 the same table, 1 different, 2 trouble, as diff(1) has it.");
  nameValues(sub);
  return {sub, [o]() -> int { return diff(*o); }};
}

}  // namespace tl
