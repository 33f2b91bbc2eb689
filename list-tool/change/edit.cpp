// An edit: the operator's editor on a copy of the list; the copy is checked and installed as every
// change is. Run through sudo for another user, the editor runs as that user, on a copy in a
// private folder of theirs, and only the tool, as root, reads the copy back and installs it.
#include <csignal>
#include <cstring>

#include "change/change.h"
#include "change/run.h"
#include "content/shown.h"
#include "files/editor.h"
#include "files/signals.h"
#include "files/work-copy.h"

namespace tl {
namespace {

// An editor that returns sooner than this with nothing changed may have gone on in the
// background (a graphical editor without its wait option).
constexpr double kQuickReturn = 1.0;

// How an editor that failed ended: "exited with status 3", "was ended by SIGKILL".
std::string howItEnded(const EditorRun &run) {
  if (run.status < 0) {
    return std::string("was ended by ") +
           (run.killedBy != 0 ? std::string("SIG") + sigabbrev_np(run.killedBy) : "a signal");
  }
  return "exited with status " + std::to_string(run.status) +
         (run.status == 127 ? " (not found?)"
          : run.status > 128 && run.status < 160
              ? std::string(" (ended by SIG") + sigabbrev_np(run.status - 128) + "?)"
              : "");
}

class EditStep : public EditingStep {
 public:
  EditStep(std::string file, Change &change) : file_(std::move(file)), change_(change) {}
  const char *verb() const override { return "edit"; }
  bool editable() const override { return true; }

  Outcome make(const ListAsRead &list, std::string &after) override {
    after = list.bytes;
    const Invoker &invoker = change_.invoker();
    const Account *delegate = invoker.delegated ? &invoker.delegate : nullptr;
    if (!started_) {
      started_ = true;
      // Where the copy will be is put in the journal before the copy is made.
      Outcome ready = chooseEditor(invoker.delegated, editor_);
      if (ready.ok()) ready = copy_.plan(change_.place(), delegate);
      if (ready.ok()) {
        ready =
            change_.record().beforeCopy(copy_.path(), copy_.owner(), copy_.beside(), copy_.name());
      }
      if (ready.ok()) ready = copy_.create(list.bytes);
      if (!ready.ok()) return stop(ready.message);
      // From now on the operator's work lives in the copy: an ending signal names it.
      endOnSignal(escaped(file_ + ": the list is unchanged; your edit is in " + copy_.path()));
    }
    EditorRun run;
    Outcome ran = runEditor(atLine(editor_, line_), copy_.path(), delegate, run);
    if (run.toolSignal != 0) {
      return stop(std::string("the tool was told to stop (SIG") + sigabbrev_np(run.toolSignal) +
                      ") while the editor ran: the list is unchanged; your edit is in " +
                      copy_.keep(),
                  run.toolSignal);
    }
    if (!ran.ok()) return stop(ran.message + "; the list is unchanged");
    if (run.status != 0) {
      // An editor that failed (vim's :cq, a command not found, a crash) and left the copy as
      // it was leaves nothing of the operator's: the copy goes with the tool. Unsaved work it
      // kept beside the copy (vim's swap file) keeps the copy too, for its recovery.
      std::string now;
      const std::string unsaved = copy_.unsavedBeside();
      if (unsaved.empty() && copy_.read(now).ok() && now == list.bytes) {
        return stop("the editor (" + editor_.from + ") " + howItEnded(run) +
                    ": the list is unchanged, and the copy held no change (removed)");
      }
      if (!unsaved.empty()) {
        return stop("the editor (" + editor_.from + ") " + howItEnded(run) +
                    ": the list is unchanged; your edit is in " + copy_.keep() +
                    ", and unsaved work may be in " + unsaved);
      }
      return stop("the editor (" + editor_.from + ") " + howItEnded(run) +
                  ": the list is unchanged; your edit is in " + copy_.keep());
    }
    Outcome read = copy_.read(after);
    if (!read.ok()) {
      after = list.bytes;
      return refused(read.code, read.message + "; the list is unchanged");
    }
    // The copy is read only as far as the plug-in reads a list: a longer one would be installed
    // cut short, and the operator's lines past the cut lost.
    if (after.size() > TV_READ_LIMIT) {
      return refused("too-long", "the copy is longer than the " + std::to_string(TV_READ_LIMIT) +
                                     " bytes the plug-in reads of a list: shorten it; the list "
                                     "is unchanged");
    }
    if (after == list.bytes && run.seconds < kQuickReturn) {
      return done(
          "the editor returned at once without a change: a graphical editor needs its wait "
          "option, such as 'gedit --wait' or 'code --wait'");
    }
    return done();
  }

  // The next run of the editor opens the copy at this line, where the editor takes one.
  void editAt(int line) override { line_ = line; }

  // The new list's findings are the copy's: its lines are the ones the operator edits.
  std::string newName(const std::string &file) const override {
    return started_ ? copy_.path() : file;
  }

  // The copy is kept while it is there (an editor may have removed it), and named once.
  std::string keepWork(bool &kept) override {
    // A message that named the copy (or said it is gone) has decided already.
    kept = started_ && copy_.kept();
    if (!started_ || named_ || !copy_.exists()) return "";
    kept = true;
    return copy_.keep();
  }

 private:
  // Trouble whose message says all there is to say of the copy.
  Outcome stop(const std::string &message, int signal = 0) {
    named_ = true;
    return trouble(message, signal);
  }

  std::string file_;
  Change &change_;
  EditorChoice editor_;
  WorkCopy copy_;
  bool started_ = false;
  bool named_ = false;  // a message has said where the copy is, or that it is gone
  int line_ = 0;        // where the editor opens the copy next (0: at its start)
};

}  // namespace

int runEdit(const ChangeOptions &o, Voice &voice) {
  Change change(o, voice);
  EditStep step(o.file, change);
  return change.run(step, &step);
}

}  // namespace tl
