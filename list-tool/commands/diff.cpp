// diff: what the plug-in would load differently from OLD and from NEW, and, for a user, whether
// they gain or lose recognition. A file named as a previous version (NAME-) that no change could
// have kept is named first.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/json-out.h"
#include "content/recognition.h"
#include "content/shown.h"
#include "content/table-diff.h"
#include "content/text-out.h"

namespace tl {
namespace {

struct DiffOptions {
  std::string before, after;
  UserOptions user;
  bool json = false;
};

int diff(const DiffOptions &o, Voice &voice) {
  // A file named as a previous version (NAME-) that no change could have kept is named first.
  for (const std::string *file : {&o.before, &o.after}) {
    for (const Finding &f : notAPreviousVersion(*file)) voice.finding(*file, f);
  }
  voice.fact("old", o.before);
  voice.fact("new", o.after);
  std::string a, b;
  Outcome read = readList(o.before, a);
  if (read.ok()) read = readList(o.after, b);
  if (!read.ok()) {
    read.message = withRootHint(read.message, geteuid() == 0);
    return voice.end(read);
  }
  const Report ra = checkList(o.before, a);
  const Report rb = checkList(o.after, b);
  TvProbe user{};
  if (o.user.given()) {
    Outcome given = o.user.probe(user);
    if (!given.ok()) return voice.end(given);
  }
  voice.changes(ra, rb, "", "");
  if (o.user.given()) {
    const int was = recognisedBy(ra, user), is = recognisedBy(rb, user);
    const std::string verdict = was == 0 && is == 0 ? "not recognised before or after"
                                : was == 0          ? "gains recognition"
                                : is == 0           ? "loses recognition"
                                                    : "recognised before and after";
    const std::string line = "user (registration seed " + std::to_string(user.rSeed) +
                             ", PUID seed " + std::to_string(user.pSeed) + ", address " +
                             dotted(user.ipAdr) + "): " + verdict +
                             (was != 0 ? "; before by slot " + std::to_string(was) : "") +
                             (is != 0 ? "; after by slot " + std::to_string(is) : "");
    voice.line(stdout, line, "user",
               {{"rSeed", user.rSeed},
                {"pSeed", user.pSeed},
                {"address", dotted(user.ipAdr)},
                {"before", was != 0 ? nlohmann::json(was) : nullptr},
                {"after", is != 0 ? nlohmann::json(is) : nullptr},
                {"verdict", verdict}});
  }
  return voice.end(done(), sameTable(ra, rb) ? kClean : kFindings);
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
  return {sub, [o](Voice &voice) -> int { return diff(*o, voice); }, &o->json};
}

}  // namespace tl
