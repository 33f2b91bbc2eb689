// expire: takes out every record whose grant has ended, the end its note names (add --until),
// as one change, checked, installed, in the journal and on record in the system log with the
// records taken out and their ends. Nothing ended: nothing written, unchanged, exit status 0, so
// a timer can run it every few minutes.
#include <memory>
#include <set>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/grants.h"
#include "content/lines.h"
#include "content/revocation.h"
#include "content/text-out.h"

namespace tl {
namespace {

class ExpireStep : public ChangeStep {
 public:
  explicit ExpireStep(UtcSeconds now) : now_(now) {}
  const char *verb() const override { return "expire"; }
  Outcome make(const ListAsRead &list, std::string &after) override {
    taken_.clear();
    std::set<int> gone;
    for (const Loaded *l : endedGrants(list.report, now_)) {
      gone.insert(l->line);
      taken_.push_back(l->rec);
    }
    after = gone.empty() ? list.bytes : withoutLines(list.bytes, gone);
    return done(gone.empty() ? "no grant has ended (at " + untilText(now_) + ")" : "");
  }

  // The table loses the ended grants, and nothing else comes or goes: a record past the 32nd
  // that taking them out would bring in is for the operator to let in.
  Outcome admits(const std::vector<TableChange> &changes) const override {
    const std::vector<const TableChange *> more = unasked(changes, taken_, false);
    if (more.empty()) return done();
    std::string what;
    for (const TableChange *c : more) {
      const Loaded &l = c->after != nullptr ? *c->after : *c->before;
      what += (what.empty() ? "" : "; ") + describeRecord(l, " # ");
    }
    return refused("brings-in",
                   "taking out the grants that have ended would bring in what nobody asked for, "
                   "records past the 32nd that the plug-in does not read now: " +
                       what +
                       "; take the ended grants out with tolvane-list remove, or make room "
                       "knowingly with tolvane-list edit");
  }

 private:
  UtcSeconds now_;
  std::vector<Tolvane> taken_;
};

struct ExpireOptions {
  ChangeOptions change;
  bool json = false;
};

}  // namespace

Subcommand defineExpire(CLI::App &tool) {
  auto o = std::make_shared<ExpireOptions>();
  CLI::App *sub = listSubcommand(
      tool, "expire", "Take out of FILE every record whose grant has ended", o->change.file);
  endChangeSubcommand(
      sub, o->change, kRemoving,
      "One change: the records whose note names an end that is past. None: nothing written.\n"
      "Prints changed or unchanged, exit status 0 for both, 1 refused, 2 trouble; the previous\n"
      "version is kept as FILE-.",
      &o->json);
  return {sub,
          [o](Voice &voice) -> int {
            const Outcome given = settleChange(o->change);
            if (!given.ok()) return voice.end(given);
            ExpireStep step(clockNow());
            return runChange(o->change, step, voice);
          },
          &o->json};
}

}  // namespace tl
