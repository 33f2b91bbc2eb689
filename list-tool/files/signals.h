// What the tool does with the signals that would end it, stage by stage of a change. Any
// signal whose default is to end a process counts (terminate, hang-up, interrupt, quit, the
// user signals, a broken pipe, an alarm, ...): a delegate allowed to run the tool through sudo
// may send sudo any of them, and sudo passes them on.
//   - While the operator's work exists only in a copy, an ending signal writes a note naming
//     the copy before the tool ends (endOnSignal).
//   - While the editor runs, interrupt and quit belong to the editor, and the others wait for
//     it to end (holdSignalsForEditor).
//   - From the first file of an install until the list is in place, its previous version kept
//     and the change on record, every signal that can be blocked waits (holdAllSignals); once a
//     list is installed they wait until the tool has said so and ends.
#ifndef TOLVANE_LIST_FILES_SIGNALS_H
#define TOLVANE_LIST_FILES_SIGNALS_H

#include <string>

namespace tl {

// From now on an ending signal writes `note` (a line ready to print, escaped) and a newline
// to standard error, when `note` is not empty, and ends the tool with status 128 + the signal.
void endOnSignal(const std::string &note);

// While the editor runs: interrupt and quit are ignored (the editor, in the foreground, gets
// them); the other ending signals are noted and do not end the tool.
void holdSignalsForEditor();

// The ending signal noted while the editor ran (0 when none), and back to endOnSignal's way.
int releaseSignalsAfterEditor();

// While the tool waits (for another change's lock): every ending signal is noted and ends the
// wait, which then says so; endingSignalNoted() tells which came (0 when none), and
// stopNotingSignals() gives them back their default action.
void noteEndingSignals();
int endingSignalNoted();
void stopNotingSignals();

// Every signal that can be blocked waits until releaseAllSignals(); then one that came acts.
void holdAllSignals();
void releaseAllSignals();

// The default action of every signal, none blocked, for a program the tool starts.
void defaultSignalsForChild();

}  // namespace tl

#endif
