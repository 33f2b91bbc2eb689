// What the edit tests share: a folder of the test's own with a list in it, the tool run as an
// operator runs it (through the shell, without a terminal), and a pseudo-terminal to drive it
// at, key by key, with signals sent as a terminal or another program sends them.
#ifndef TOLVANE_TESTS_EDIT_HARNESS_H
#define TOLVANE_TESTS_EDIT_HARNESS_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "file-bytes.h"
#include "launch.h"

namespace harness {

extern const std::string kGood;    // one record
extern const std::string kBad;     // a line that gives no record
extern const std::string kMended;  // that line mended

void spill(const std::string &path, const std::string &content);
struct stat statOf(const std::string &path);

// A folder of the test's own with a list and editor scripts; removed at the end.
struct Folder {
  std::string dir;
  std::string list;
  Folder();
  ~Folder();
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
  // An editor script: a shell script run with the copy's path as $1.
  std::string editor(const std::string &name, const std::string &body) const;
  // The names in the folder other than the list, its previous version, the editors, the lock,
  // the journal and the files "old", "go" and "other": the copies and new files a change left.
  std::vector<std::string> strays() const;
  // The list as a change of the tool leaves it: it held `before`, and an edit made it what it
  // holds now, so that its previous version is `before` and its journal says so (undo takes
  // only such a version).
  void changedFrom(const std::string &before) const;
};

// `text` with <D> put for the folder's path and <L> for the list's.
std::string placed(std::string text, const Folder &f);

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;  // standard output and standard error, as they came
};

// strace, following children, quiet, as a command line's start: the leak checker of the
// sanitizer build cannot work under it, and is turned off.
extern const std::string kStrace;

// Who holds the list's lock, as a refusal or a wait names them: "process 14217 of root, since
// 2026-12-10 12:42", the process `pid`, the account running the tests, and the time the lock
// file holds, in local time.
std::string lockHolder(const Folder &f, pid_t pid);

// Runs a shell command line, standard input not a terminal.
Outcome shell(const std::string &command);

// Runs `tolvane-list edit [OPTIONS] LIST` with EDITOR set, standard input not a terminal.
Outcome edit(const Folder &f, const std::string &editor, const std::string &options = "");

// Runs `tolvane-list edit LIST` with EDITOR set at a new pseudo-terminal, answering each
// "install anyway" question with the next of `answers`; what the terminal showed has CR LF
// line ends.
Outcome editAtTerminal(const Folder &f, const std::string &editor, const std::string &answers);

// Starts `tolvane-list edit LIST` whose editor waits until the file `go` appears in the folder,
// then runs `then` on the copy ($1); returns its pid once it holds the lock (its copy exists).
pid_t startWaitingEdit(const Folder &f, const std::string &then = "");

// tolvane-list at a new pseudo-terminal (80 by 24), in `dir`, with `env` added to the
// environment.
class Terminal {
 public:
  Terminal(const std::string &dir, const std::vector<std::pair<std::string, std::string>> &env,
           const std::vector<std::string> &args);
  ~Terminal();  // ends the tool if it still runs
  Terminal(const Terminal &) = delete;
  Terminal &operator=(const Terminal &) = delete;
  // Waits until the terminal shows `text` after what earlier calls waited for; false when it
  // does not within `seconds`.
  bool expect(const std::string &text, double seconds = 10);
  // Types the keys (a Ctrl-C is "\x03").
  void type(const std::string &keys);
  // Sends the tool a signal, as kill(1) does.
  void signal(int sig);
  // Hangs the terminal up, as a closed window or a dropped connection does.
  void hangUp();
  // Whether the tool still runs after `seconds` more.
  bool runsAfter(double seconds);
  // Reads to the end, and waits for the tool.
  Outcome finish(double seconds = 20);
  const std::string &screen() const { return out_; }
  pid_t pid() const { return pid_; }

 private:
  int pump(int ms);  // reads what comes within `ms`: 1 some, 0 none, -1 the end
  bool reap(bool wait);

  pid_t pid_ = -1;
  int master_ = -1;
  std::string out_;
  size_t mark_ = 0;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace harness

#endif
