// What the tool does with the signals that would end it, stage by stage of a change: while the
// operator's work exists only in a copy, an ending signal names the copy before the tool ends;
// while the editor runs, interrupt and quit belong to the editor, and terminate and hang-up wait
// for it to end; while a list is installed, every ending signal waits until that is over.
#ifndef TOLVANE_LIST_SIGNALS_H
#define TOLVANE_LIST_SIGNALS_H

#include <string>

namespace tl {

// From now on an ending signal (interrupt, quit, terminate, hang-up) writes `note` and a newline
// to standard error, when `note` is not empty, and ends the tool with status 128 + the signal.
void endOnSignal(const std::string &note);

// While the editor runs: interrupt and quit are ignored (the editor, in the foreground, gets
// them); terminate and hang-up are noted and do not end the tool.
void holdSignalsForEditor();

// The terminate or hang-up noted while the editor ran (0 when none), and back to endOnSignal's
// way.
int releaseSignalsAfterEditor();

// Ending signals wait (blocked) until unblockEndingSignals(); then one that came ends the tool.
void blockEndingSignals();
void unblockEndingSignals();

// The default action of the ending signals, for a program the tool starts.
void defaultSignalsForChild();

}  // namespace tl

#endif
