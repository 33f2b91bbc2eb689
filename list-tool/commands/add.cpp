// add: makes sure the list gives a record for these values: the line encode writes is added at
// the list's end, checked and installed; a record already there writes nothing.
#include <memory>

#include "change.h"
#include "command-line.h"
#include "command.h"
#include "exit-status.h"
#include "line-ends.h"
#include "record-options.h"
#include "safe-text.h"

namespace tl {
namespace {

class AddStep : public ChangeStep {
 public:
  explicit AddStep(std::string line) : line_(std::move(line)) { recordOfLine(line_, rec_); }
  const char *verb() const override { return "add"; }
  StepResult make(const ListPlace & /*place*/, const Report &before, const std::string &old,
                  std::string &after) override {
    for (const Loaded &l : before.records) {
      if (!sameRecord(l.rec, rec_)) continue;
      return {StepResult::Unchanged, "",
              "line " + std::to_string(l.line) + " gives this record already (slot " +
                  std::to_string(l.slot) + ")",
              kClean};
    }
    after = withLineAdded(old, line_);
    return {};
  }

 private:
  std::string line_;
  Tolvane rec_{};
};

struct AddOptions {
  ChangeOptions change;
  RecordOptions values;
};

}  // namespace

Subcommand defineAdd(CLI::App &tool) {
  auto o = std::make_shared<AddOptions>();
  CLI::App *sub =
      listSubcommand(tool, "add", "Make sure FILE gives a record for these values", o->change.file);
  o->values.add(sub, true);
  addChangeOptions(sub, o->change, kAdding);
  sub->footer(
      "Already there: nothing written. Prints changed or unchanged, exit status 0 for both,\n"
      "1 refused, 2 trouble; the previous version is kept as FILE-.");
  nameValues(sub);
  return {sub, [o]() -> int {
            if (o->change.file.empty()) o->change.file = listHome();
            finishChangeOptions(o->change);
            std::string line, why;
            if (!o->values.line(line, why)) {
              printLine(stderr, "tolvane-list: refused: " + why);
              return kFindings;
            }
            AddStep step(line);
            return Change(o->change).run(step);
          }};
}

}  // namespace tl
