// undo: makes the previous version, NAME-, the list again, as a change: judged, locked, the
// table's changes shown (and confirmed at a terminal), checked and installed, with the list it
// replaces kept as NAME-, so that a second undo is a redo. Only the version the journal shows the
// last change replaced is installed, read through the list's folder and never through a link;
// and where the list was changed outside the tool since that change, undo would undo that too:
// it says who gains and loses, and goes on only when the operator says so.
#include <memory>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/digest.h"
#include "content/journal.h"
#include "content/text-out.h"

namespace tl {
namespace {

// The records that come and go, as a sentence: "who gains: line 18 (registration seed 816, ...);
// who loses: none".
std::string gainsAndLosses(const Report &now, const Report &then) {
  std::string gains, losses;
  for (const TableChange &c : compareTables(now, then)) {
    if (c.kind == TableChange::Added)
      gains += (gains.empty() ? "" : "; ") + describeRecord(*c.after, " # ");
    if (c.kind == TableChange::Removed)
      losses += (losses.empty() ? "" : "; ") + describeRecord(*c.before, " # ");
  }
  return "who gains: " + (gains.empty() ? "none" : gains) +
         "; who loses: " + (losses.empty() ? "none" : losses);
}

class UndoStep : public ChangeStep {
 public:
  explicit UndoStep(bool despite) : despite_(despite) {}
  const char *verb() const override { return "undo"; }
  bool asksFirst() const override { return true; }
  std::string caution() const override { return caution_; }
  Outcome make(const ListAsRead &list, std::string &after) override {
    after = list.bytes;
    std::string previous;
    Outcome read = list.files.previousVersion(previous);
    if (!read.ok()) return read;
    const std::string &kept = list.kept;
    if (previous.size() > TV_READ_LIMIT) {
      return refused("too-long", kept + " is longer than the " + std::to_string(TV_READ_LIMIT) +
                                     " bytes the plug-in reads: mend it by hand");
    }
    if (previous == list.bytes) return done(kept + " holds what the list holds");
    // Only the version the last change replaced, as its journal entry names it.
    const JournalVersion &last = list.journal.change;
    const std::string look = ": look at it (tolvane-list diff " + kept + " " + list.file +
                             "), and make that change with tolvane-list edit";
    if (last.digest.empty()) {
      return refused("previous-unknown",
                     "the list's journal names no change, so " + kept +
                         " is no version a change is known to have replaced (an earlier "
                         "tolvane-list, or a hand, may have put it there)" +
                         look);
    }
    if (digestOf(previous) != last.install.read) {
      return refused("previous-unknown", kept + " is not the version that the last change (" +
                                             last.id + ", " + last.install.verb + " by " +
                                             last.install.by.shown() + ", " + utcTime(last.at) +
                                             ") replaced" + look);
    }
    after = previous;
    // Changed outside the tool since: undo would undo that too.
    if (list.journal.last.outside && !despite_) {
      const std::string why = "the list was changed outside tolvane-list after the last change (" +
                              last.id + ", " + last.install.verb + " by " +
                              last.install.by.shown() + ", " + utcTime(last.at) +
                              "): undo puts back " + kept +
                              ", the version that change replaced, and so undoes "
                              "the outside change too: " +
                              gainsAndLosses(list.report, checkList(kept, previous));
      if (!list.terminal) {
        return refused("outside-change",
                       why + "; to undo all the same, give --despite-outside-change");
      }
      caution_ = why;
    }
    return done();
  }

 private:
  bool despite_;
  std::string caution_;
};

struct UndoOptions {
  ChangeOptions change;
  bool despite = false;
  bool json = false;
};

}  // namespace

Subcommand defineUndo(CLI::App &tool) {
  auto o = std::make_shared<UndoOptions>();
  CLI::App *sub = listSubcommand(
      tool, "undo", "Make FILE's previous version, FILE-, the list again (a second undo redoes)",
      o->change.file);
  sub->add_flag("--despite-outside-change", o->despite,
                "undo even when the list was changed outside tolvane-list since the last change "
                "(that change is undone too)");
  endChangeSubcommand(
      sub, o->change, kUndoing,
      "The changes are shown, and at a terminal confirmed, before the install; the list it\n"
      "replaces becomes FILE-. Only the version the journal shows the last change replaced is\n"
      "installed. Exit status 0 installed or unchanged, 1 refused, 2 trouble.",
      &o->json);
  return {sub,
          [o](Voice &voice) -> int {
            const Outcome given = settleChange(o->change);
            if (!given.ok()) return voice.end(given);
            UndoStep step(o->despite);
            return runChange(o->change, step, voice);
          },
          &o->json};
}

}  // namespace tl
