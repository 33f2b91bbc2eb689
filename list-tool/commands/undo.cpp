// undo: makes the previous version, NAME-, the list again, as a change: judged, locked, the
// table's changes shown (and confirmed at a terminal), checked and installed, with the list it
// replaces kept as NAME-, so that a second undo is a redo. Only a previous version a change
// could have kept is installed: a plain file with one name, owned by an account trusted with
// the list, read through the list's folder and never through a link.
#include <memory>

#include "change.h"
#include "cli.h"
#include "command.h"
#include "files/previous-version.h"

namespace tl {
namespace {

class UndoStep : public ChangeStep {
 public:
  explicit UndoStep(const Trusted &trusted) : trusted_(trusted) {}
  const char *verb() const override { return "undo"; }
  bool asksFirst() const override { return true; }
  Outcome make(const ListAsRead &list, std::string &after) override {
    after = list.bytes;
    std::string previous;
    Outcome read = readPreviousVersion(list.place, trusted_, previous);
    if (!read.ok()) return read;
    const std::string kept = list.place.beside(list.place.name + "-");
    if (previous.size() > TV_READ_LIMIT) {
      return refused("too-long", kept + " is longer than the " + std::to_string(TV_READ_LIMIT) +
                                     " bytes the plug-in reads: mend it by hand");
    }
    after = previous;
    if (after == list.bytes) return done(kept + " holds what the list holds");
    return done();
  }

 private:
  const Trusted &trusted_;
};

}  // namespace

Subcommand defineUndo(CLI::App &tool) {
  auto o = std::make_shared<ChangeOptions>();
  CLI::App *sub = listSubcommand(
      tool, "undo", "Make FILE's previous version, FILE-, the list again (a second undo redoes)",
      o->file);
  endChangeSubcommand(
      sub, *o, kUndoing,
      "The changes are shown, and at a terminal confirmed, before the install; the list it\n"
      "replaces becomes FILE-. Exit status 0 installed or unchanged, 1 refused, 2 trouble.");
  return {sub, [o]() -> int { return settledChange(*o, [&o] { return UndoStep(o->trusted); }); }};
}

}  // namespace tl
