// remove: takes lines out of the list, named by their numbers, by the record they give, or by
// the comment that says whom a record is for; the result is checked and installed. What is not
// there writes nothing.
#include <memory>
#include <set>
#include <vector>

#include "change.h"
#include "cli.h"
#include "command.h"
#include "content/lines.h"
#include "numbers.h"

namespace tl {
namespace {

struct RemoveOptions {
  ChangeOptions change;
  std::vector<std::string> words;  // FILE, then line numbers
  std::vector<std::string> lineOptions;
  RecordOptions values;
};

Outcome lineNumber(const std::string &word, std::set<int> &lines) {
  uint64_t n = 0;
  if (!tvc::parseNumber(word, 1000000000, n) || n == 0)
    return trouble("remove takes line numbers from 1, got '" + word + "'");
  lines.insert(static_cast<int>(n));
  return done();
}

class RemoveStep : public ChangeStep {
 public:
  const char *verb() const override { return "remove"; }
  Outcome ready() const override { return values; }
  Outcome values = done();  // whether the values given make a record
  std::string file;
  std::set<int> lines;
  bool byRecord = false;
  Tolvane record{};
  bool byNote = false;
  std::string note;

  Outcome make(const ListAsRead &list, std::string &after) override {
    std::set<int> gone = lines;
    after = list.bytes;
    if (!lines.empty()) {
      const int last = lineCount(list.bytes);
      if (*gone.rbegin() > last) {
        return trouble(file + " has " + std::to_string(last) + " line" + (last == 1 ? "" : "s") +
                       ": there is no line " + std::to_string(*gone.rbegin()));
      }
    } else {
      Outcome chosen = choose(list.report, gone);
      if (!chosen.ok() || gone.empty()) return chosen;
    }
    after = withoutLines(list.bytes, gone);
    return done();
  }

 private:
  // The lines of the records asked for, with the comment lines above that name them; none,
  // with a note, when no record is asked for.
  Outcome choose(const Report &before, std::set<int> &gone) const {
    std::vector<const Loaded *> picked, all;
    for (const std::vector<Loaded> *t : {&before.records, &before.ignored}) {
      for (const Loaded &l : *t) {
        all.push_back(&l);
        if ((!byRecord || sameRecord(l.rec, record)) && (!byNote || l.comment == note))
          picked.push_back(&l);
      }
    }
    if (picked.empty()) {
      return done(byRecord ? "no line gives this record"
                           : "no record has the comment '" + note + "'");
    }
    if (byNote && !byRecord && picked.size() > 1) {
      std::string where;
      for (const Loaded *l : picked) where += (where.empty() ? "" : ", ") + std::to_string(l->line);
      return refused("ambiguous-note", std::to_string(picked.size()) +
                                           " records have the comment '" + note + "' (lines " +
                                           where +
                                           "): name the one to remove by its values or "
                                           "its line");
    }
    for (const Loaded *l : picked) {
      gone.insert(l->line);
      if (l->commentLine != 0 && l->commentLine != l->line) gone.insert(l->commentLine);
    }
    for (const Loaded *l : all) {
      bool chosenToo = false;
      for (const Loaded *p : picked) chosenToo = chosenToo || p == l;
      if (chosenToo || gone.count(l->line) == 0) continue;
      return refused("shared-line", "line " + std::to_string(l->line) +
                                        " also gives another record (slot " +
                                        std::to_string(l->slot) +
                                        "): take the line out by its number, or mend it by hand");
    }
    return done();
  }
};

// What the words and options ask to remove, into the step.
Outcome settle(RemoveOptions &o, RemoveStep &step) {
  Outcome given = finishChangeOptions(o.change);
  if (!o.words.empty()) o.change.file = o.words[0];
  for (size_t i = 1; i < o.words.size() && given.ok(); ++i)
    given = lineNumber(o.words[i], step.lines);
  for (const std::string &w : o.lineOptions) {
    if (given.ok()) given = lineNumber(w, step.lines);
  }
  if (!given.ok()) return given;
  const bool values = o.values.given();
  step.byNote = o.values.noteGiven();
  step.note = o.values.note();
  if (!step.lines.empty() && (values || step.byNote))
    return trouble("remove takes lines, or a record's values and --note, not both");
  if (step.lines.empty() && !values && !step.byNote) {
    return trouble(
        "remove needs the numbers of the lines to take out (after the list's name: remove FILE "
        "3, or --line 3 for the default list), a record's values, or --note");
  }
  step.file = o.change.file;
  if (!values) return done();
  std::string line;
  step.values = o.values.line(line);
  if (step.values.kind == Outcome::Trouble) return step.values;
  recordOfLine(line, step.record);
  step.byRecord = true;
  return done();
}

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
            RemoveStep step;
            Outcome given = settle(*o, step);
            if (!given.ok()) return usageError(given.message, o->change.json);
            return Change(o->change).run(step);
          }};
}

}  // namespace tl
