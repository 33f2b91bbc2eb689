// The terminal's line reader: a person typing a scenario at the `tolvane>` prompt, through
// libedit (BSD-licensed; GNU readline's GPL does not fit the project's license). Lines are
// edited with the arrows and Emacs keys (or what ~/.editrc binds), the session's lines are
// recalled with Up and Down (kept in memory only), Tab completes a command's name, and `help`
// shows the commands. Ctrl-C drops the line being typed and prompts again; Ctrl-D at an empty
// prompt ends the input, as the end of a file does. The prompt and the line being edited are
// shown on standard error, beside the bad-input messages; the transcript stays on standard
// output.
#ifndef TOLVANE_HOST_TERMINAL_H
#define TOLVANE_HOST_TERMINAL_H

#include <signal.h>

#include <cwchar>
#include <string>

#include "scenario.h"

// libedit's types (histedit.h), so that only terminal.cpp includes its header.
struct editline;
struct history;

namespace host {

class Terminal : public LineSource {
 public:
  // Whether standard input and standard error are a terminal, where lines can be edited.
  static bool usable();

  // Sets libedit up on standard input and standard error, and says how to get help.
  Terminal();
  ~Terminal() override;
  Terminal(const Terminal &) = delete;
  Terminal &operator=(const Terminal &) = delete;

  // The next line the person enters (a `help` is answered here and read past); false at
  // Ctrl-D on an empty line, or when the terminal can no longer be read.
  bool next(std::string &text, bool block) override;

  // libedit's callbacks, which reach the terminal through its client data.
  const char *prompt() const { return block_ ? "  | " : "tolvane> "; }
  // Reads one character for libedit, waiting for Ctrl-C and a new window size too.
  int readChar(wchar_t *out);
  // Completes the command's name before the cursor (Tab).
  unsigned char complete();

 private:
  // Answers `help` and its words on standard error.
  static void answerHelp(const std::vector<std::string> &words);

  struct editline *el_ = nullptr;
  struct history *history_ = nullptr;
  bool block_ = false;      // the line belongs to a `write` block
  bool dropped_ = false;    // Ctrl-C dropped the line being read
  sigset_t waitMask_{};     // the signals open while waiting for a key: Ctrl-C's, a resize's
  std::mbstate_t shift_{};  // a character's bytes read so far
};

}  // namespace host

#endif
