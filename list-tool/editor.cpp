#include "editor.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "signals.h"

namespace tl {
namespace {

// A variable's value, or "" when it is unset or blank.
std::string nonBlank(const char *var) {
  const char *v = std::getenv(var);
  if (v == nullptr) return "";
  const std::string s = v;
  return s.find_first_not_of(" \t\n") == std::string::npos ? "" : s;
}

// Whether a program of this name is found on the PATH.
bool onPath(const std::string &name) {
  const char *path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(at, colon - at);
    if (dir.empty()) dir = ".";
    const std::string file = dir + "/" + name;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
      return true;
    at = colon + 1;
  }
  return false;
}

// Closes the descriptors from `first` to `last`, both included.
void closeRange(unsigned first, unsigned last) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, first, last, 0u) == 0) return;
#endif
  for (unsigned fd = first; fd <= last && fd < 1024; ++fd) close(static_cast<int>(fd));
}

}  // namespace

void closeInherited(int keepA, int keepB) {
  const int low = keepA < keepB ? keepA : keepB, high = keepA < keepB ? keepB : keepA;
  unsigned from = 3;
  for (const int keep : {low, high}) {
    if (keep < static_cast<int>(from)) continue;
    const auto k = static_cast<unsigned>(keep);
    if (k > from) closeRange(from, k - 1);
    from = k + 1;
  }
  closeRange(from, ~0u);
}

bool chooseEditor(bool delegated, EditorChoice &out, std::string &err) {
  const char *const vars[] = {"SUDO_EDITOR", "VISUAL", "EDITOR"};
  for (const char *var : vars) {
    if (!delegated && std::strcmp(var, "SUDO_EDITOR") == 0) continue;
    const std::string v = nonBlank(var);
    if (v.empty()) continue;
    out = {v + " \"$1\"", var};
    return true;
  }
  for (const char *name : {"editor", "vi"}) {
    if (!onPath(name)) continue;
    out = {std::string("exec ") + name + " \"$1\"", name};
    return true;
  }
  err = std::string("no editor found: set VISUAL or EDITOR") +
        (delegated ? " (sudo keeps them with env_keep, or set SUDO_EDITOR)" : "");
  return false;
}

bool becomeAccount(const Account &as) {
  if (setgroups(as.groups.size(), as.groups.data()) != 0) return false;
  if (setresgid(as.gid, as.gid, as.gid) != 0) return false;
  if (setresuid(as.uid, as.uid, as.uid) != 0) return false;
  uid_t r = 0, e = 0, s = 0;
  gid_t gr = 0, ge = 0, gs = 0;
  if (getresuid(&r, &e, &s) != 0 || r != as.uid || e != as.uid || s != as.uid) return false;
  if (getresgid(&gr, &ge, &gs) != 0 || gr != as.gid || ge != as.gid || gs != as.gid) return false;
  if (as.uid != 0 && setuid(0) == 0) return false;  // root must be out of reach for good
  errno = 0;
  return true;
}

EditorRun runEditor(const EditorChoice &editor, const std::string &path, const Account *as) {
  EditorRun run;
  // The shell that runs the editor shares its terminal and its job: a trap (an ignored signal
  // would be the editor's too) keeps an interrupt or quit meant for the editor, or a terminate
  // or hang-up sent to the whole job, from ending the shell, and with it the wait for the
  // editor, which decides for itself.
  const std::string line = "trap : INT QUIT TERM HUP; " + editor.command;
  std::fflush(nullptr);
  const auto started = std::chrono::steady_clock::now();
  holdSignalsForEditor();
  const pid_t pid = fork();
  if (pid < 0) {
    run.err = std::string("cannot start the editor: ") + std::strerror(errno);
    releaseSignalsAfterEditor();
    return run;
  }
  if (pid == 0) {
    defaultSignalsForChild();
    if (as != nullptr) {
      closeInherited();
      if (!becomeAccount(*as)) {
        std::fprintf(stderr, "tolvane-list: cannot take the ids of %s: %s\n", as->name.c_str(),
                     std::strerror(errno));
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
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) break;
  }
  run.toolSignal = releaseSignalsAfterEditor();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.ran = true;
  if (WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  } else {
    run.status = -1;
    run.killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  return run;
}

}  // namespace tl
