// add: makes sure the list gives a record for these values: the line encode writes is added at
// the list's end, checked and installed; a record already there writes nothing.
#include <memory>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/lines.h"

namespace tl {
namespace {

class AddStep : public ChangeStep {
 public:
  AddStep(Outcome values, std::string line) : values_(std::move(values)), line_(std::move(line)) {
    recordOfLine(line_, rec_);
  }
  const char *verb() const override { return "add"; }
  Outcome ready() const override { return values_; }
  Outcome make(const ListAsRead &list, std::string &after) override {
    for (const Loaded &l : list.report.records) {
      if (!sameRecord(l.rec, rec_)) continue;
      after = list.bytes;
      return done("line " + std::to_string(l.line) + " gives this record already (slot " +
                  std::to_string(l.slot) + ")");
    }
    after = withLineAdded(list.bytes, line_);
    return done();
  }

 private:
  Outcome values_;  // whether the values make a line
  std::string line_;
  Tolvane rec_{};
};

struct AddOptions {
  ChangeOptions change;
  RecordOptions values;
  bool json = false;
};

}  // namespace

Subcommand defineAdd(CLI::App &tool) {
  auto o = std::make_shared<AddOptions>();
  CLI::App *sub =
      listSubcommand(tool, "add", "Make sure FILE gives a record for these values", o->change.file);
  o->values.add(sub, true);
  endChangeSubcommand(
      sub, o->change, kAdding,
      "Already there: nothing written. Prints changed or unchanged, exit status 0 for both,\n"
      "1 refused, 2 trouble; the previous version is kept as FILE-.",
      &o->json);
  return {sub,
          [o](Voice &voice) -> int {
            Outcome given = settleChange(o->change);
            std::string line;
            if (given.ok()) given = o->values.line(line);
            if (given.kind == Outcome::Trouble) return voice.end(given);
            AddStep step(given, line);
            return runChange(o->change, step, voice);
          },
          &o->json};
}

}  // namespace tl
