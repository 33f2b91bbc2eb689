// edit: the operator's editor on a copy of the list; the copy is checked and installed as every
// change is. Run through sudo for another user, the editor runs as that user, on a copy in a
// private folder of theirs, and only the tool, as root, reads the copy back and installs it.
#include <csignal>
#include <cstring>
#include <memory>

#include "change.h"
#include "command-line.h"
#include "command.h"
#include "editor.h"
#include "exit-status.h"
#include "invoker.h"
#include "safe-text.h"
#include "signals.h"
#include "work-copy.h"

namespace tl {
namespace {

// An editor that returns sooner than this with nothing changed may have gone on in the
// background (a graphical editor without its wait option).
constexpr double kQuickReturn = 1.0;

class EditStep : public ChangeStep {
 public:
  explicit EditStep(std::string file) : file_(std::move(file)) {}
  const char *verb() const override { return "edit"; }
  bool editable() const override { return true; }

  StepResult make(const ListPlace &place, const Report & /*before*/, const std::string &old,
                  std::string &after) override {
    std::string err;
    if (!started_) {
      started_ = true;
      if (!chooseEditor(invoker_.delegated, editor_, err)) return stop(err, kTrouble);
      if (!copy_.create(place.dir.get(), place.folder, place.name, old,
                        invoker_.delegated ? &invoker_.delegate : nullptr, err))
        return stop(err, kTrouble);
      // From now on the operator's work lives in the copy: an ending signal names it.
      endOnSignal(file_ + ": the list is unchanged; your edit is in " + escaped(copy_.path()));
    }
    const EditorRun run =
        runEditor(editor_, copy_.path(), invoker_.delegated ? &invoker_.delegate : nullptr);
    if (run.toolSignal != 0) {
      return stop(std::string("the tool was told to stop (SIG") + sigabbrev_np(run.toolSignal) +
                      ") while the editor ran: the list is unchanged; your edit is in " +
                      copy_.keep(),
                  128 + run.toolSignal);
    }
    if (!run.ran) return stop(run.err + "; the list is unchanged", kTrouble);
    if (run.status != 0) {
      const std::string how =
          run.status < 0
              ? std::string("was ended by ") +
                    (run.killedBy != 0 ? std::string("SIG") + sigabbrev_np(run.killedBy)
                                       : std::string("a signal"))
              : "exited with status " + std::to_string(run.status) +
                    (run.status == 127 ? " (not found?)"
                     : run.status > 128 && run.status < 160
                         ? std::string(" (ended by SIG") + sigabbrev_np(run.status - 128) + "?)"
                         : "");
      // An editor that gave up on its own (vim's :cq, a command not found) and left the copy
      // as it was leaves nothing of the operator's: the copy goes with the tool. One ended by
      // a signal may have kept unsaved work beside it (vim's swap file): the copy stays, named.
      std::string now;
      if (run.status > 0 && run.status <= 128 && copy_.read(now, err) && now == old) {
        return stop("the editor (" + editor_.from + ") " + how +
                        ": the list is unchanged, and the copy held no change (removed)",
                    kTrouble);
      }
      return stop("the editor (" + editor_.from + ") " + how +
                      ": the list is unchanged; your edit is in " + copy_.keep(),
                  kTrouble);
    }
    if (!copy_.read(after, err)) {
      return {StepResult::Refused, "copy-unreadable", err + "; the list is unchanged"};
    }
    // The copy is read only as far as the plug-in reads a list: a longer one would be installed
    // cut short, and the operator's lines past the cut lost.
    if (after.size() > TV_READ_LIMIT) {
      return {StepResult::Refused, "too-long",
              "the copy is longer than the " + std::to_string(TV_READ_LIMIT) +
                  " bytes the plug-in reads of a list: shorten it; the list is unchanged"};
    }
    if (after == old && run.seconds < kQuickReturn) {
      return {StepResult::Unchanged, "",
              "the editor returned at once without a change: a graphical editor needs its "
              "wait option, such as 'gedit --wait' or 'code --wait'",
              kClean};
    }
    return {};
  }

  // The copy is named only while it is there (an editor may have removed it).
  std::string keepWork() override { return started_ && copy_.exists() ? copy_.keep() : ""; }

 private:
  StepResult stop(const std::string &message, int status) {
    printLine(stderr, "tolvane-list: " + message);
    return {StepResult::Stopped, "", "", status};
  }

  std::string file_;
  Invoker invoker_ = whoInvokes();
  EditorChoice editor_;
  WorkCopy copy_;
  bool started_ = false;
};

}  // namespace

Subcommand defineEdit(CLI::App &tool) {
  auto o = std::make_shared<ChangeOptions>();
  CLI::App *sub = listSubcommand(
      tool, "edit", "Edit FILE on a copy, checked and installed as one change", o->file);
  addChangeOptions(sub, *o, kEditing);
  sub->footer(
      "A copy that is not installed is kept and named. Through sudo the editor runs as the\n"
      "user who ran sudo ($SUDO_EDITOR, then $VISUAL, $EDITOR, editor, vi).");
  nameValues(sub);
  return {sub, [o]() -> int {
            if (o->file.empty()) o->file = listHome();
            finishChangeOptions(*o);
            EditStep step(o->file);
            return Change(*o).run(step);
          }};
}

}  // namespace tl
