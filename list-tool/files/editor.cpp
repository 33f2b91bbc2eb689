#include "files/editor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/descriptors.h"
#include "files/signals.h"

namespace tl {
namespace {

// A variable's value, or "" when it is unset or blank.
std::string nonBlank(const char *var) {
  const char *v = std::getenv(var);
  if (v == nullptr) return "";
  const std::string s = v;
  return s.find_first_not_of(" \t\n") == std::string::npos ? "" : s;
}

// The program of this name on the PATH (a name with '/' as it is); "" when there is none.
std::string onPathAt(const std::string &name) {
  if (name.find('/') != std::string::npos) return name;
  const char *path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(at, colon - at);
    if (dir.empty()) dir = ".";
    std::string file = dir + "/" + name;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
      return file;
    at = colon + 1;
  }
  return "";
}

// Whether a program of this name is found on the PATH.
bool onPath(const std::string &name) {
  return !onPathAt(name).empty();
}

// Whether the program, by its real name, opens a file at +LINE given before it.
bool takesLine(const std::string &program) {
  const std::string found = onPathAt(program);
  char real[PATH_MAX];
  if (found.empty() || realpath(found.c_str(), real) == nullptr) return false;
  std::string name = real;
  name = name.substr(name.rfind('/') + 1);
  for (const char *known : {"vim", "nvim", "nano", "emacs", "emacsclient"}) {
    const std::string k = known;
    // vim.basic, vim.tiny, emacs-gtk, emacs-nox: the same programs under Debian's names.
    if (name == k || name.rfind(k + ".", 0) == 0 || name.rfind(k + "-", 0) == 0) return true;
  }
  return false;
}

}  // namespace

Outcome chooseEditor(bool delegated, EditorChoice &out) {
  const char *const vars[] = {"SUDO_EDITOR", "VISUAL", "EDITOR"};
  for (const char *var : vars) {
    if (!delegated && std::strcmp(var, "SUDO_EDITOR") == 0) continue;
    const std::string v = nonBlank(var);
    if (v.empty()) continue;
    const size_t word = v.find_first_not_of(" \t");
    out = {v + " \"$1\"", var, v.substr(word, v.find_first_of(" \t", word) - word)};
    return done();
  }
  for (const char *name : {"editor", "vi"}) {
    if (!onPath(name)) continue;
    out = {std::string("exec ") + name + " \"$1\"", name, name};
    return done();
  }
  return trouble(std::string("no editor found: set VISUAL or EDITOR") +
                 (delegated ? " (sudo keeps them with env_keep, or set SUDO_EDITOR)" : ""));
}

EditorChoice atLine(const EditorChoice &editor, int line) {
  const std::string file = " \"$1\"";
  if (line <= 0 || !takesLine(editor.program) || editor.command.size() < file.size()) return editor;
  EditorChoice at = editor;
  const std::string number = std::to_string(line);  // wings: not speech: the editor's argument
  at.command = editor.command.substr(0, editor.command.size() - file.size()) + " +" + number + file;
  return at;
}

Outcome runEditor(const EditorChoice &editor, const std::string &path, const Account *as,
                  EditorRun &run) {
  // The shell that runs the editor shares its terminal and its job: a trap (an ignored signal
  // would be the editor's too) keeps an interrupt or quit meant for the editor, or a terminate
  // or hang-up sent to the whole job, from ending the shell, and with it the wait for the
  // editor, which decides for itself.
  const std::string line = "trap : INT QUIT TERM HUP; " + editor.command;
  // A child that cannot take the account's ids says why through this pipe, which closes
  // unread when the shell starts.
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return trouble(std::string("cannot start the editor: ") + std::strerror(errno));
  UniqueFd why(pipeFds[0]), tell(pipeFds[1]);
  std::fflush(nullptr);
  const auto started = std::chrono::steady_clock::now();
  holdSignalsForEditor();
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    releaseSignalsAfterEditor();
    return trouble(std::string("cannot start the editor: ") + std::strerror(e));
  }
  if (pid == 0) {
    defaultSignalsForChild();
    if (as != nullptr) {
      if (!becomeAccount(*as, tell.get())) {
        const int e = errno;
        (void)!write(tell.get(), &e, sizeof e);
        _exit(126);
      }
      setenv("HOME", as->home.c_str(), 1);
      setenv("USER", as->name.c_str(), 1);
      setenv("LOGNAME", as->name.c_str(), 1);
      if (chdir(".") != 0 || access(".", X_OK) != 0) (void)!chdir(as->home.c_str());
    }
    execl("/bin/sh", "sh", "-c", line.c_str(), "sh", path.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  tell.reset();
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) break;
  }
  run.toolSignal = releaseSignalsAfterEditor();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  int childError = 0;
  if (read(why.get(), &childError, sizeof childError) == static_cast<ssize_t>(sizeof childError))
    return trouble("cannot take the ids of " + as->name + ": " + std::strerror(childError));
  if (WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  } else {
    run.status = -1;
    run.killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  return done();
}

}  // namespace tl
