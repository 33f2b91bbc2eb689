// The operator's editor: chosen from the environment, run on a copy of the list, with the
// delegate's ids under sudo, and with the tool's own signals held back while it runs.
#ifndef TOLVANE_LIST_FILES_EDITOR_H
#define TOLVANE_LIST_FILES_EDITOR_H

#include <string>

#include "files/accounts.h"
#include "outcome.h"

namespace tl {

struct EditorChoice {
  std::string command;  // for /bin/sh -c, to run on "$1"
  std::string from;     // what named it: "VISUAL", "EDITOR", "SUDO_EDITOR", "editor", "vi"
  std::string program;  // the program it runs: the command's first word
};

// $VISUAL, else $EDITOR (either may hold options; blank counts as unset), else the system's
// default `editor`, else `vi`; for a delegate, $SUDO_EDITOR first, as sudoedit does. Trouble
// when there is none.
Outcome chooseEditor(bool delegated, EditorChoice &out);

// The editor, opening the file at `line` when its program is one known to take +LINE before
// the file (vim, nvim, nano, emacs, as the program's real name says once links are followed);
// as it is otherwise.
EditorChoice atLine(const EditorChoice &editor, int line);

// How the editor ended.
struct EditorRun {
  int status = 0;      // its exit status, or -1 when a signal ended it
  int killedBy = 0;    // that signal
  int toolSignal = 0;  // a signal that would end the tool, come while the editor ran
  double seconds = 0;  // how long it ran
};

// Runs the editor on the file at `path` and waits for it to end. With `as`, the editor runs
// with that account's user and group ids, groups and home only, and inherits no descriptor but
// standard input, output and error. Trouble when it cannot be started.
Outcome runEditor(const EditorChoice &editor, const std::string &path, const Account *as,
                  EditorRun &run);

}  // namespace tl

#endif
