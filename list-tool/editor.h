// The operator's editor: chosen from the environment, run on a copy of the list, with the
// delegate's ids under sudo, and with the tool's own signals held back while it runs.
#ifndef TOLVANE_LIST_EDITOR_H
#define TOLVANE_LIST_EDITOR_H

#include <string>

#include "accounts.h"

namespace tl {

struct EditorChoice {
  std::string command;  // for /bin/sh -c, to run on "$1"
  std::string from;     // what named it: "VISUAL", "EDITOR", "SUDO_EDITOR", "editor", "vi"
};

// $VISUAL, else $EDITOR (either may hold options; blank counts as unset), else the system's
// default `editor`, else `vi`; for a delegate, $SUDO_EDITOR first, as sudoedit does. False with
// a message when there is none.
bool chooseEditor(bool delegated, EditorChoice &out, std::string &err);

struct EditorRun {
  bool ran = false;    // the editor ran and ended
  int status = 0;      // its exit status, or -1 when a signal ended it
  int killedBy = 0;    // that signal
  int toolSignal = 0;  // a terminate or hang-up the tool got while the editor ran
  double seconds = 0;  // how long it ran
  std::string err;     // why it did not run
};

// Runs the editor on the file at `path`. With `as`, the editor runs with that account's user
// and group ids, groups and home only, and inherits no descriptor but standard input, output
// and error.
EditorRun runEditor(const EditorChoice &editor, const std::string &path, const Account *as);

// Closes every descriptor but standard input, output and error and the two named (-1 for
// none), in a child that is to run with another account's ids: nothing of root's stays open in
// a process that account can stop.
void closeInherited(int keepA = -1, int keepB = -1);

// Takes the account's user and group ids and groups for good (in a child process); false
// (errno set) when it cannot.
bool becomeAccount(const Account &as);

}  // namespace tl

#endif
