// add: makes sure the list gives a record for these values: the line encode writes is added at
// the list's end, checked and installed; a record already there writes nothing. With --until the
// grant ends: its end is written in the record's own note, within the bytes the plug-in reads
// as one piece, and a record already there gets that end.
#include <memory>
#include <optional>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/grant-end.h"
#include "content/lines.h"

namespace tl {
namespace {

// The most a line with an end may take: one piece of the plug-in's reading.
constexpr size_t kPieceMost = TV_READ_SIZE - 1;

// Refused when the line with its end would not fit in one piece.
Outcome fits(const std::string &line, const std::string &whose) {
  if (line.size() <= kPieceMost) return done();
  return refused("until-no-room", whose + " with its end takes " + std::to_string(line.size()) +
                                      " bytes, more than the " + std::to_string(kPieceMost) +
                                      " the plug-in reads as one piece: shorten the note by " +
                                      std::to_string(line.size() - kPieceMost) +
                                      " bytes (or give none)");
}

// A record line with the end `end` in its note: the end it names replaced, else added.
std::string lineWithEnd(const std::string &text, const std::string &comment, UtcSeconds end) {
  std::string line = text;
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  if (grantEnd(comment)) {
    // The note's end is the last thing on the line.
    return line.substr(0, line.size() - untilText(end).size()) + untilText(end);
  }
  return line + (comment.empty() ? "   # " : " ") + noteWithEnd("", end);
}

class AddStep : public ChangeStep {
 public:
  AddStep(Outcome values, std::string line, std::optional<UtcSeconds> until)
      : values_(std::move(values)), line_(std::move(line)), until_(until) {
    recordOfLine(line_, rec_);
  }
  const char *verb() const override { return "add"; }
  Outcome ready() const override { return values_; }
  Outcome make(const ListAsRead &list, std::string &after) override {
    remark_.clear();
    for (const Loaded &l : list.report.records) {
      if (!sameRecord(l.rec, rec_)) continue;
      after = list.bytes;
      const std::string there = "line " + std::to_string(l.line) + " gives this record already";
      const std::optional<UtcSeconds> ends = grantEnd(l.comment);
      if (!until_ || ends == until_) {
        return done(there + " (slot " + std::to_string(l.slot) + ")" +
                    (ends ? ", until " + untilText(*ends) : ""));
      }
      // The grant there gets the end asked for.
      const std::string line = lineWithEnd(lineAt(list.bytes, l.line), l.comment, *until_);
      Outcome room = fits(line, "line " + std::to_string(l.line));
      if (!room.ok()) return room;
      after = withLineReplaced(list.bytes, l.line, line);
      remark_ = "the grant of line " + std::to_string(l.line) + " ends at " + untilText(*until_) +
                (ends ? ", no longer at " + untilText(*ends) : ", where it had no end");
      return done();
    }
    after = withLineAdded(list.bytes, line_);
    return done();
  }
  std::vector<Remark> remarks() const override {
    if (remark_.empty()) return {};
    return {{"until-set", remark_}};
  }

 private:
  Outcome values_;  // whether the values make a line
  std::string line_;
  std::optional<UtcSeconds> until_;
  std::string remark_;  // the end a grant there gets
  Tolvane rec_{};
};

struct AddOptions {
  ChangeOptions change;
  RecordOptions values;
  std::string until;
  CLI::Option *untilOpt = nullptr;
  bool json = false;
};

// The record's line, with the grant's end in its note when --until gives one.
Outcome lineOf(const AddOptions &o, std::string &line, std::optional<UtcSeconds> &until) {
  const std::string &note = o.values.note();
  if (grantEnd(note)) {
    return usage("--note '" + note +
                 "' ends as a grant's end is written: give the end with --until");
  }
  if (o.untilOpt->count() == 0) return o.values.line(line);
  UtcSeconds end = 0;
  Outcome given = parseUntil(o.until, clockNow(), end);
  if (given.kind == Outcome::Trouble) return given;
  const std::string withEnd = noteWithEnd(note, end);
  Outcome made = o.values.line(line, &withEnd);
  if (!made.ok()) return made;
  if (!given.ok()) return given;
  until = end;
  return fits(line, "the record");
}

}  // namespace

Subcommand defineAdd(CLI::App &tool) {
  auto o = std::make_shared<AddOptions>();
  CLI::App *sub =
      listSubcommand(tool, "add", "Make sure FILE gives a record for these values", o->change.file);
  o->values.add(sub, true);
  o->untilOpt = sub->add_option("--until", o->until,
                                "the grant ends then: a time with its zone (2026-12-14T09:00Z, "
                                "2026-12-14T10:00+01:00) or a span from now (+3d, +12h, +30m)")
                    ->type_name("WHEN");
  endChangeSubcommand(
      sub, o->change, kAdding,
      "Already there: nothing written (with --until, its end set). Prints changed or unchanged,\n"
      "exit status 0 for both, 1 refused, 2 trouble; the previous version is kept as FILE-.",
      &o->json);
  return {sub,
          [o](Voice &voice) -> int {
            Outcome given = settleChange(o->change);
            std::string line;
            std::optional<UtcSeconds> until;
            if (given.ok()) given = lineOf(*o, line, until);
            if (given.kind == Outcome::Trouble) return voice.end(given);
            AddStep step(given, line, until);
            return runChange(o->change, step, voice);
          },
          &o->json};
}

}  // namespace tl
