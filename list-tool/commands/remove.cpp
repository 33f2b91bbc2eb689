// remove: takes lines out of the list, named by their numbers, by the record they give, or by
// the comment that says whom a record is for; the result is checked and installed. What is not
// there writes nothing.
#include <memory>
#include <set>
#include <vector>

#include "change.h"
#include "command-line.h"
#include "command.h"
#include "exit-status.h"
#include "line-ends.h"
#include "numbers.h"
#include "record-options.h"
#include "safe-text.h"

namespace tl {
namespace {

struct RemoveOptions {
  ChangeOptions change;
  std::vector<std::string> words;  // FILE, then line numbers
  std::vector<std::string> lineOptions;
  RecordOptions values;
};

int lineNumber(const std::string &word) {
  uint64_t n = 0;
  if (!tvc::parseNumber(word, 1000000000, n) || n == 0)
    throw Usage{"remove takes line numbers from 1, got '" + word + "'"};
  return static_cast<int>(n);
}

class RemoveStep : public ChangeStep {
 public:
  const char *verb() const override { return "remove"; }
  std::string file;
  std::set<int> lines;
  bool byRecord = false;
  Tolvane record{};
  bool byNote = false;
  std::string note;

  StepResult make(const ListPlace & /*place*/, const Report &before, const std::string &old,
                  std::string &after) override {
    std::set<int> gone = lines;
    if (!lines.empty()) {
      const int last = lineCount(old);
      if (*gone.rbegin() > last) {
        printLine(stderr, "tolvane-list: " + file + " has " + std::to_string(last) + " line" +
                              (last == 1 ? "" : "s") + ": there is no line " +
                              std::to_string(*gone.rbegin()));
        return {StepResult::Stopped, "", "", kTrouble};
      }
    } else {
      StepResult chosen = choose(before, gone);
      if (chosen.made != StepResult::Changed) return chosen;
    }
    after = withoutLines(old, gone);
    return {};
  }

 private:
  // The lines of the records asked for, with the comment lines above that name them.
  StepResult choose(const Report &before, std::set<int> &gone) const {
    std::vector<const Loaded *> picked, all;
    for (const std::vector<Loaded> *t : {&before.records, &before.ignored}) {
      for (const Loaded &l : *t) {
        all.push_back(&l);
        if ((!byRecord || sameRecord(l.rec, record)) && (!byNote || l.comment == note))
          picked.push_back(&l);
      }
    }
    if (picked.empty()) {
      return {StepResult::Unchanged, "",
              byRecord ? "no line gives this record" : "no record has the comment '" + note + "'",
              kClean};
    }
    if (byNote && !byRecord && picked.size() > 1) {
      std::string where;
      for (const Loaded *l : picked) where += (where.empty() ? "" : ", ") + std::to_string(l->line);
      return {StepResult::Refused, "ambiguous-note",
              std::to_string(picked.size()) + " records have the comment '" + note + "' (lines " +
                  where + "): name the one to remove by its values or its line"};
    }
    for (const Loaded *l : picked) {
      gone.insert(l->line);
      if (l->commentLine != 0 && l->commentLine != l->line) gone.insert(l->commentLine);
    }
    for (const Loaded *l : all) {
      bool chosenToo = false;
      for (const Loaded *p : picked) chosenToo = chosenToo || p == l;
      if (chosenToo || gone.count(l->line) == 0) continue;
      return {StepResult::Refused, "shared-line",
              "line " + std::to_string(l->line) + " also gives another record (slot " +
                  std::to_string(l->slot) +
                  "): take the line out by its number, or mend it by hand"};
    }
    return {};
  }
};

}  // namespace

Subcommand defineRemove(CLI::App &tool) {
  auto o = std::make_shared<RemoveOptions>();
  CLI::App *sub =
      tool.add_subcommand("remove", "Take lines out of FILE: by number, record or note");
  sub->add_option("FILE", o->words,
                  "[FILE [LINE...]]: the list file (default: " + listHome() +
                      "), then the numbers of the lines to take out");
  sub->add_option("--line", o->lineOptions, "the number of a line to take out (repeatable)")
      ->type_name("N");
  o->values.add(sub, false);
  addChangeOptions(sub, o->change, kRemoving);
  sub->footer(
      "FILE comes first whenever line numbers follow it (remove FILE 3 4); --line N takes\n"
      "the default list. Nothing to take out: nothing written, exit status 0.");
  nameValues(sub);
  sub->get_option("FILE")->type_name("");
  return {sub, [o]() -> int {
            auto step = std::make_unique<RemoveStep>();
            o->change.file = o->words.empty() ? listHome() : o->words[0];
            for (size_t i = 1; i < o->words.size(); ++i)
              step->lines.insert(lineNumber(o->words[i]));
            for (const std::string &w : o->lineOptions) step->lines.insert(lineNumber(w));
            const bool values = o->values.given();
            step->byNote = o->values.noteGiven();
            step->note = o->values.note();
            if (!step->lines.empty() && (values || step->byNote))
              throw Usage{"remove takes lines, or a record's values and --note, not both"};
            if (step->lines.empty() && !values && !step->byNote)
              throw Usage{
                  "remove needs the numbers of the lines to take out (after the list's name: "
                  "remove FILE 3, or --line 3 for the default list), a record's values, "
                  "or --note"};
            if (values) {
              std::string line, why;
              if (!o->values.line(line, why)) {
                printLine(stderr, "tolvane-list: refused: " + why);
                return kFindings;
              }
              recordOfLine(line, step->record);
              step->byRecord = true;
            }
            finishChangeOptions(o->change);
            step->file = o->change.file;
            return Change(o->change).run(*step);
          }};
}

}  // namespace tl
