// remove: takes lines out of the list, named by their numbers, by the record they give, by a
// user they recognise (the whole revocation at once), or by the comment that says whom a record
// is for; the result is checked and installed. A revocation never misses in silence: what still
// recognises whom it names, or comes close when nothing matched, is named with the command that
// takes it out, and the tool ends with status 1. What is not there, and nothing close, writes
// nothing.
#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "change.h"
#include "cli.h"
#include "command.h"
#include "content/json-out.h"
#include "content/lines.h"
#include "content/revocation.h"
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
  Revocation asked;  // when no line is named by its number

  Outcome make(const ListAsRead &list, std::string &after) override {
    read_ = list.report.records;
    gone_ = lines;
    taken_.clear();
    left_.clear();
    after = list.bytes;
    if (!lines.empty()) {
      const int last = lineCount(list.bytes);
      if (*gone_.rbegin() > last) {
        return trouble(file + " has " + std::to_string(last) + " line" + (last == 1 ? "" : "s") +
                       ": there is no line " + std::to_string(*gone_.rbegin()));
      }
    } else {
      Outcome chosen = choose(list.report);
      if (!chosen.ok() || gone_.empty()) return chosen;
    }
    after = withoutLines(list.bytes, gone_);
    return done();
  }

  // A revocation that took records out leaves no record that still recognises whom it names.
  Outcome verify(const Report &after, bool installing) override {
    if (!lines.empty() || taken_.empty()) return done();
    left_ = stillRecognising(after, asked, taken_);
    if (left_.empty()) return done();
    std::vector<int> named;
    // A dry run leaves the list as it is: its lines are named there, with those this revocation
    // would take out, so that one command does it all.
    if (!installing) {
      for (Left &l : left_) l.record = asRead(lineBefore(l.record.line), l.record);
      named.assign(gone_.begin(), gone_.end());
    }
    for (const Left &l : left_) named.push_back(l.record.line);
    std::sort(named.begin(), named.end());
    command_ = removeCommand(file, named);
    return refused("still-recognised",
                   std::string(installing ? "the list still recognises"
                                          : "the new list would still recognise") +
                       " whom this revocation names: " + describeLeft(left_) + "; to revoke " +
                       (left_.size() == 1 ? "it" : "them") + " too: " + command_);
  }

  // The records a refusal names, each with its reason, and the command that takes them out.
  nlohmann::json details() const override {
    if (left_.empty()) return nullptr;
    nlohmann::json missed = nlohmann::json::array();
    for (const Left &l : left_) {
      nlohmann::json one = recordJson(l.record);
      one["recognises"] = l.recognises;
      one["reason"] = l.reason;
      missed.push_back(one);
    }
    return {{"missed", missed}, {"command", command_}};
  }

 private:
  // The lines of the records asked for; none, with a note, when no record is asked for and
  // none comes close; refused, naming them, when some do.
  Outcome choose(const Report &before) {
    const std::vector<const Loaded *> picked = revoked(before, asked);
    if (picked.empty()) return nearMiss(before);
    if (asked.by == Revocation::NoteOnly && picked.size() > 1) {
      std::string where;
      for (const Loaded *l : picked) where += (where.empty() ? "" : ", ") + std::to_string(l->line);
      return refused("ambiguous-note", std::to_string(picked.size()) +
                                           " records have the comment '" + asked.note +
                                           "' (lines " + where +
                                           "): name the one to remove by its values or "
                                           "its line");
    }
    for (const Loaded *l : picked) {
      gone_.insert(l->line);
      taken_.push_back(l->rec);
    }
    for (const std::vector<Loaded> *t : {&before.records, &before.ignored}) {
      for (const Loaded &l : *t) {
        bool chosenToo = false;
        for (const Loaded *p : picked) chosenToo = chosenToo || p == &l;
        if (chosenToo || gone_.count(l.line) == 0) continue;
        return refused("shared-line", "line " + std::to_string(l.line) +
                                          " also gives another record (slot " +
                                          std::to_string(l.slot) +
                                          "): take the line out by its number, or mend it by hand");
      }
    }
    return done();
  }

  // Nothing matched: unchanged, unless a record comes close to what was asked.
  Outcome nearMiss(const Report &before) {
    const std::string none = asked.by == Revocation::Values ? "no line gives this record"
                             : asked.by == Revocation::User
                                 ? "no record recognises this user"
                                 : "no record has the comment '" + asked.note + "'";
    left_ = cameClose(before, asked);
    if (left_.empty()) return done(none);
    bool recognises = false;
    std::vector<int> named;
    for (const Left &l : left_) {
      recognises = recognises || l.recognises;
      named.push_back(l.record.line);
    }
    command_ = removeCommand(file, named);
    const bool one = left_.size() == 1;
    return refused(recognises ? "still-recognised" : "near-miss",
                   none + ", but " +
                       (recognises ? "the list still recognises whom it names: "
                        : one      ? "one comes close: "
                                   : "some come close: ") +
                       describeLeft(left_) + "; to remove " + (one ? "it" : "them") + ": " +
                       command_);
  }

  // The record of the list as read at this line (its slot there), or `otherwise`.
  Loaded asRead(int line, const Loaded &otherwise) const {
    for (const Loaded &l : read_) {
      if (l.line == line) return l;
    }
    return otherwise;
  }

  // The line of the list as read that is line `after` of the new list.
  int lineBefore(int after) const {
    int line = after;
    for (int g : gone_) line += g <= line ? 1 : 0;
    return line;
  }

  std::vector<Loaded> read_;    // the records of the list as read
  std::set<int> gone_;          // the lines taken out
  std::vector<Tolvane> taken_;  // the records taken out by a revocation
  std::vector<Left> left_;      // the records a refusal names
  std::string command_;         // the command that takes them out
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
  const bool values = o.values.given(), byNote = o.values.noteGiven();
  if (!step.lines.empty() && (values || byNote))
    return trouble("remove takes lines, or a record's values and --note, not both");
  if (step.lines.empty() && !values && !byNote) {
    return trouble(
        "remove needs the numbers of the lines to take out (after the list's name: remove FILE "
        "3, or --line 3 for the default list), a record's values, a user's (--ip), or --note");
  }
  step.file = o.change.file;
  if (!step.lines.empty()) return done();
  step.values = o.values.revocation(step.asked);
  return step.values.kind == Outcome::Trouble ? step.values : done();
}

}  // namespace

Subcommand defineRemove(CLI::App &tool) {
  auto o = std::make_shared<RemoveOptions>();
  CLI::App *sub =
      tool.add_subcommand("remove", "Take lines out of FILE: by number, record, user or note");
  sub->add_option("FILE", o->words,
                  "[FILE [LINE...]]: the list file (default: " + listHome() +
                      "), then the numbers of the lines to take out");
  sub->add_option("--line", o->lineOptions, "the number of a line to take out (repeatable)")
      ->type_name("N");
  o->values.add(sub, false);
  o->values.addUser(sub);
  endChangeSubcommand(
      sub, o->change, kRemoving,
      "FILE comes first whenever line numbers follow it (remove FILE 3 4); --line N takes\n"
      "the default list. --ip takes out every record that recognises the user. Nothing to\n"
      "take out and nothing close: nothing written, exit status 0. A record left that still\n"
      "recognises whom the values or note name, or one that comes close when nothing\n"
      "matched, is named with the command that takes it out: exit status 1.");
  sub->get_option("FILE")->type_name("");
  return {sub, [o]() -> int {
            RemoveStep step;
            Outcome given = settle(*o, step);
            if (!given.ok()) return usageError(given.message, o->change.json);
            return Change(o->change).run(step);
          }};
}

}  // namespace tl
