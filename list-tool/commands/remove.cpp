// remove: takes records out of the list: a person by their seeds (every record that recognises
// them, from anywhere, or within a range or at an address given), the record whose own comment
// is a note, or lines by their numbers; the result is checked and installed. A revocation is
// judged by whom the plug-in recognises: what it names is gone from the table afterwards, or it
// says which line still recognises them and ends with status 1; where the same person is still
// recognised outside the range asked is said, the same words on every run. A change does only
// what it names: a record it would bring in (a 33rd one, past what the plug-in reads) refuses it,
// and so does a line that gives no record, unless the text is meant to go.
#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/history.h"
#include "content/json-out.h"
#include "content/lines.h"
#include "content/revocation.h"
#include "content/shown.h"
#include "content/text-out.h"
#include "numbers.h"

namespace tl {
namespace {

struct RemoveOptions {
  ChangeOptions change;
  std::vector<std::string> words;  // FILE, then line numbers
  std::vector<std::string> lineOptions;
  RecordOptions values;
  bool textLines = false;  // lines that give no record may go too
  bool missingOk = false;  // a note that labels no record is no error
  bool json = false;
};

Outcome lineNumber(const std::string &word, std::set<int> &lines) {
  uint64_t n = 0;
  if (!tvc::parseNumber(word, 1000000000, n) || n == 0)
    return usage("remove takes line numbers from 1, got '" + word + "'");
  lines.insert(static_cast<int>(n));
  return done();
}

// "line 18 (a comment line: '# Linus ...')"
std::string shownLine(int line, const std::string &text) {
  std::string shown = text.size() > 60 ? text.substr(0, 57) + "..." : text;
  while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.pop_back();
  const bool blank = shown.find_first_not_of(" \t") == std::string::npos;
  const bool comment = !blank && shown[shown.find_first_not_of(" \t")] == '#';
  return "line " + std::to_string(line) + " (" +
         (blank ? std::string("a blank line")
                : std::string(comment ? "a comment line" : "text that gives no record") + ": '" +
                      shown + "'") +
         ")";
}

class RemoveStep : public ChangeStep {
 public:
  const char *verb() const override { return "remove"; }
  Outcome ready() const override { return values; }
  Outcome values = done();  // whether the values given name a person
  std::string file;
  std::set<int> lines;
  Revocation asked;  // when no line is named by its number
  bool textLines = false;
  bool missingOk = false;

  Outcome make(const ListAsRead &list, std::string &after) override {
    taken_.clear();
    left_.clear();
    elsewhere_.clear();
    gone_ = lines;
    after = list.bytes;
    if (!lines.empty()) {
      Outcome chosen = byNumber(list);
      if (!chosen.ok()) return chosen;
    } else {
      Outcome chosen = choose(list);
      if (!chosen.ok() || gone_.empty()) return chosen;
    }
    after = withoutLines(list.bytes, gone_);
    return done();
  }

  // The table loses the records taken out, and nothing else comes or goes.
  Outcome admits(const std::vector<TableChange> &changes) const override {
    const std::vector<const TableChange *> more = unasked(changes, taken_, false);
    if (more.empty()) return done();
    std::string what;
    std::vector<int> with(gone_.begin(), gone_.end());
    for (const TableChange *c : more) {
      // Named by its line in the list as it is.
      const Loaded &l = c->after != nullptr ? *c->after : *c->before;
      const int line = c->after != nullptr ? lineBefore(l.line) : l.line;
      what += (what.empty() ? "" : "; ") + std::string("line ") + std::to_string(line) + " (" +
              describeRecord(l, " # ") + ")";
      with.push_back(line);
    }
    std::sort(with.begin(), with.end());
    with.erase(std::unique(with.begin(), with.end()), with.end());
    const bool one = more.size() == 1;
    return refused(
        "brings-in",
        "taking out what was asked would bring in " + std::string(one ? "a record" : "records") +
            " that nobody asked for, which the plug-in does not read now (past the "
            "32nd): " +
            what + "; to take " + (one ? "it" : "them") + " out too: " + removeCommand(file, with) +
            ", or make room for it knowingly with tolvane-list edit");
  }

  std::vector<Remark> remarks() const override {
    if (elsewhere_.empty()) return {};
    return {{"recognised-elsewhere",
             "the same person is still recognised outside the range "
             "asked, which this revocation leaves as it is: " +
                 describeNamed(elsewhere_)}};
  }

  // A revocation leaves no record that still recognises whom it names within its range.
  Outcome verify(const Report &after, bool installing) override {
    if (!lines.empty()) return done();
    elsewhere_ = recognisedElsewhere(after, asked);
    if (taken_.empty()) return done();
    left_ = stillRecognising(after, asked, taken_);
    if (left_.empty()) return done();
    std::vector<int> named;
    for (const Named &l : left_) named.push_back(l.record.line);
    std::sort(named.begin(), named.end());
    command_ = removeCommand(file, named);
    return refused("still-recognised",
                   std::string(installing ? "the list still recognises"
                                          : "the new list would still recognise") +
                       " whom this revocation names: " + describeNamed(left_) + "; to revoke " +
                       (left_.size() == 1 ? "it" : "them") + " too: " + command_);
  }

  // The records a refusal names, each with its reason, and the command that takes them out.
  nlohmann::json details() const override {
    if (left_.empty() && close_.empty()) return nullptr;
    nlohmann::json missed = nlohmann::json::array();
    for (const Named &l : left_) {
      nlohmann::json one = recordJson(l.record);
      one["reason"] = l.reason;
      missed.push_back(one);
    }
    nlohmann::json near = nlohmann::json::array();
    for (const CloseComment &c : close_) {
      near.push_back({{"line", c.line},
                      {"comment", c.text},
                      {"ownLine", c.ownLine},
                      {"record", c.record != nullptr ? recordJson(*c.record) : nlohmann::json()}});
    }
    nlohmann::json doc = {{"missed", missed}};
    if (!command_.empty()) doc["takeOut"] = command_;
    if (!close_.empty()) doc["close"] = near;
    return doc;
  }

 private:
  // Lines by their numbers: each must be there, and give a record unless the text is meant.
  Outcome byNumber(const ListAsRead &list) {
    const int last = lineCount(list.bytes);
    if (*gone_.rbegin() > last) {
      return trouble(file + " has " + std::to_string(last) + " line" + (last == 1 ? "" : "s") +
                     ": there is no line " + std::to_string(*gone_.rbegin()));
    }
    std::string textOnly;
    for (int n : gone_) {
      bool gives = false;
      for (const std::vector<Loaded> *t : {&list.report.records, &list.report.ignored}) {
        for (const Loaded &l : *t) {
          if (l.line != n) continue;
          gives = true;
          taken_.push_back(l.rec);
        }
      }
      if (gives || textLines) continue;
      // The record line nearest to it, named, never offered for removal: it may be anyone's.
      const Loaded *near = nullptr;
      for (const std::vector<Loaded> *t : {&list.report.records, &list.report.ignored}) {
        for (const Loaded &l : *t) {
          // On a tie, the record below: a comment line above a record is most often about it.
          const int d = std::abs(l.line - n), best = near == nullptr ? 0 : std::abs(near->line - n);
          if (near == nullptr || d < best || (d == best && l.line > near->line)) near = &l;
        }
      }
      textOnly +=
          (textOnly.empty() ? "" : "; ") + shownLine(n, lineAt(list.bytes, n)) +
          (near == nullptr ? std::string(", and the list gives no record at all")
                           : ", the record nearest to it is line " + std::to_string(near->line) +
                                 " (" + describeRecord(*near, " # ") + ")");
    }
    if (textOnly.empty()) return done();
    return refused("not-a-record",
                   textOnly +
                       ": a line that gives no record takes nobody out; name the record's "
                       "own line, or give --text-lines to take the text out as it is");
  }

  // The records a revocation takes out: none, with a note, when none is there.
  Outcome choose(const ListAsRead &list) {
    const Report &before = list.report;
    const std::vector<const Loaded *> picked = revoked(before, asked);
    if (picked.empty()) return nothingThere(list);
    if (!asked.bySeeds && picked.size() > 1) {
      std::string where;
      for (const Loaded *l : picked) where += (where.empty() ? "" : ", ") + std::to_string(l->line);
      return refused("ambiguous-note", std::to_string(picked.size()) + " records have the note '" +
                                           asked.note + "' (lines " + where +
                                           "): name the person by their seeds (--rseed, or "
                                           "--crc and --counter)");
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

  // Nothing to take out. A person by their seeds: unchanged. A note: known gone when a change
  // in the journal took its record out; otherwise an error naming the comments that come close,
  // unless the person may already be gone.
  Outcome nothingThere(const ListAsRead &list) {
    if (asked.bySeeds) {
      elsewhere_ = recognisedElsewhere(list.report, asked);
      return done("no record recognises this person" +
                  std::string(asked.ranged ? " within " + dotted(asked.whom.lo) +
                                                 (asked.whom.lo == asked.whom.hi
                                                      ? ""
                                                      : " to " + dotted(asked.whom.hi))
                                           : "") +
                  (asked.byNote ? " with the note '" + asked.note + "'" : ""));
    }
    for (const HistoryItem &h : historyOf(list.entries)) {
      if (!h.installed) continue;
      for (const KeptChange &c : h.changes) {
        if (c.record.comment != asked.note || c.record.cut != 0) continue;
        if (c.kind == KeptChange::Added) break;  // labelled again since: not known gone
        if (c.kind != KeptChange::Removed) continue;
        return done("the record with the note '" + asked.note + "' was taken out by change " +
                    h.id + " (" + h.verb + " by " + h.by.shown() + ", " + utcTime(h.at) + ")");
      }
    }
    if (missingOk) return done("no record has the note '" + asked.note + "'");
    close_ = closeComments(list.bytes, list.report, asked.note);
    std::string near;
    for (const CloseComment &c : close_) {
      near +=
          (near.empty() ? "" : "; ") + std::string("line ") + std::to_string(c.line) + " '" +
          c.text + "'" +
          (c.ownLine
               ? " (the note of the record on that line: " + describeRecord(*c.record, " # ") + ")"
           : c.record != nullptr
               ? " (a comment line; the record nearest to it is line " +
                     std::to_string(c.record->line) + ": " + describeRecord(*c.record, " # ") + ")"
               : " (a comment line)");
    }
    return refused("no-such-note",
                   "no record has the note '" + asked.note +
                       "' (a note is the comment on a record's own line, matched exactly)" +
                       (near.empty() ? "" : "; comments that come close: " + near) +
                       "; name the person by their seeds (--rseed, or --crc and --counter), or "
                       "give --missing-ok when they may already be gone");
  }

  // The line of the list as read that is line `after` of the new list.
  int lineBefore(int after) const {
    int line = after;
    for (int g : gone_) line += g <= line ? 1 : 0;
    return line;
  }

  std::set<int> gone_;               // the lines taken out
  std::vector<Tolvane> taken_;       // the records taken out
  std::vector<Named> left_;          // the records a refusal names
  std::vector<Named> elsewhere_;     // where the person is still recognised, outside the range
  std::vector<CloseComment> close_;  // comments that come close to a note no record has
  std::string command_;              // the command that takes the records left out
};

// What the words and options ask to remove, into the step.
Outcome settle(RemoveOptions &o, RemoveStep &step) {
  if (!o.words.empty()) o.change.file = o.words[0];
  Outcome given = settleChange(o.change);
  for (size_t i = 1; i < o.words.size() && given.ok(); ++i)
    given = lineNumber(o.words[i], step.lines);
  for (const std::string &w : o.lineOptions) {
    if (given.ok()) given = lineNumber(w, step.lines);
  }
  if (!given.ok()) return given;
  const bool values = o.values.given(), byNote = o.values.noteGiven();
  if (!step.lines.empty() && (values || byNote))
    return usage("remove takes lines, or a person's seeds and --note, not both");
  if (step.lines.empty() && !values && !byNote) {
    return usage(
        "remove needs a person's seeds (--rseed, or --crc and --counter; --addr or --ip for a "
        "range or an address), a record's note (--note), or the numbers of the lines to take "
        "out (after the list's name: remove FILE 3, or --line 3 for the default list)");
  }
  if (o.textLines && step.lines.empty()) return usage("--text-lines goes with line numbers");
  step.file = o.change.file;
  step.textLines = o.textLines;
  step.missingOk = o.missingOk;
  if (!step.lines.empty()) return done();
  step.values = o.values.revocation(step.asked);
  return step.values.kind == Outcome::Trouble ? step.values : done();
}

}  // namespace

Subcommand defineRemove(CLI::App &tool) {
  auto o = std::make_shared<RemoveOptions>();
  CLI::App *sub = tool.add_subcommand(
      "remove", "Take out of FILE a person (by seeds), a note's record or lines");
  sub->add_option("FILE", o->words,
                  "[FILE [LINE...]]: the list file (default: " + listHome() +
                      "), then the numbers of the lines to take out");
  sub->add_option("--line", o->lineOptions, "the number of a line to take out (repeatable)")
      ->type_name("N");
  o->values.add(sub, false);
  o->values.addUser(sub);
  sub->add_flag("--text-lines", o->textLines,
                "with line numbers: take out lines that give no record too (comments, blank or "
                "broken lines)");
  sub->add_flag("--missing-ok", o->missingOk,
                "with --note: a note that labels no record is no error (the person may already "
                "be gone)");
  endChangeSubcommand(
      sub, o->change, kRemoving,
      "A person is their seeds: --rseed (or --crc and --counter), and --pseed (or the PUID\n"
      "values) for one PUID, take out every record that recognises them, from anywhere; with\n"
      "--addr or --ip only within that range or at that address. --note takes the record whose\n"
      "own comment (on its line) is the note, exactly. FILE comes first whenever line numbers\n"
      "follow it (remove FILE 3 4); --line N takes the default list. Nothing to take out:\n"
      "nothing written, exit status 0 (a note that labels no record: 1, unless --missing-ok).\n"
      "A record left that still recognises whom it names, or one it would bring in: exit 1.",
      &o->json);
  sub->get_option("FILE")->type_name("");
  return {sub,
          [o](Voice &voice) -> int {
            RemoveStep step;
            Outcome given = settle(*o, step);
            if (!given.ok()) return voice.end(given);
            return runChange(o->change, step, voice);
          },
          &o->json};
}

}  // namespace tl
