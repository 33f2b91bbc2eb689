// edit, add and remove: changing a live list one change at a time, on a copy in its folder,
// checked, and installed by rename only when it has no error.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "access.h"
#include "changes.h"
#include "commands.h"
#include "install.h"
#include "listfile.h"
#include "report.h"

namespace tl {
namespace {

// Whether the list's folder is safe to install into; before anything is written there, the
// lock included.
bool safeFolder(const std::string &live, std::string &err) {
  std::string why;
  if (folderSafe(live, why)) return true;
  err = "refused: " + why + "; nothing written";
  return false;
}

// The list as it is now, for a change: "" when it does not exist yet.
bool readCurrent(const std::string &file, const std::string &live, std::string &data,
                 std::string &err) {
  struct stat st {};
  if (stat(live.c_str(), &st) != 0 && errno == ENOENT) {
    data.clear();
    return true;
  }
  if (!readFile(live, data, err)) {
    err = file + ": " + err;
    return false;
  }
  if (data.size() > TV_READ_LIMIT) {
    err = file + " is longer than the " + std::to_string(TV_READ_LIMIT) +
          " bytes the plug-in reads: mend it by hand";
    return false;
  }
  return true;
}

// The shell command that runs the operator's editor on "$1": $VISUAL, else $EDITOR (either may
// hold options), else the system's default, editor, else vi.
std::string editorCommand() {
  for (const char *var : {"VISUAL", "EDITOR"}) {
    const char *e = std::getenv(var);
    if (e != nullptr && *e != '\0') return std::string(e) + " \"$1\"";
  }
  return "if command -v editor >/dev/null 2>&1; then exec editor \"$1\"; else exec vi \"$1\"; fi";
}

// Runs the editor on the file. Returns its exit status, or -1 when it could not run to its end.
int runEditor(const std::string &path) {
  const std::string cmd = editorCommand();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), "sh", path.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void printFindings(const Report &r) {
  for (const Finding &f : r.findings) printFinding(stdout, r.file, f);
}

// Installs the copy and says what changed, when `before` and `after` are given.
int install(ListCopy &copy, const std::string &file, const std::string &live, const Report *before,
            const Report *after) {
  std::string err;
  if (!copy.install(live, err)) {
    std::fprintf(stderr, "tolvane-list: %s; the list is unchanged\n", err.c_str());
    return kTrouble;
  }
  if (before != nullptr && after != nullptr)
    printChanges(stdout, *before, *after, file + " (before)", file);
  std::printf("%s: installed\n", file.c_str());
  return kClean;
}

// What the operator wants when the edited copy has errors: 'e', 'x' or 'i'.
char ask() {
  for (;;) {
    std::fputs("What now? (e) edit again, (x) leave the list as it was, (i) install anyway: ",
               stderr);
    char buf[64];
    if (std::fgets(buf, sizeof buf, stdin) == nullptr) return 'x';
    if (buf[0] == 'e' || buf[0] == 'x' || buf[0] == 'i') return buf[0];
  }
}

// A change made by add or remove: checked, shown, and installed unless it has errors.
int applyChange(const std::string &file, const std::string &live, const std::string &before,
                const std::string &after, bool dryRun) {
  const Report rb = checkList(file, before);
  const Report ra = checkList(file, after);
  printFindings(ra);
  if (!installable(ra)) {
    std::printf(
        "%s: refused: the list would have %s; nothing written\n", file.c_str(),
        ra.ignored.empty() ? "errors" : "a record past the 32nd, which the plug-in never reads");
    return kFindings;
  }
  printChanges(stdout, rb, ra, file + " (before)", file);
  if (dryRun) {
    std::printf("%s: dry run: nothing written\n", file.c_str());
    return kClean;
  }
  ListCopy copy;
  std::string err;
  if (!copy.create(live, after, err)) {
    std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
    return kTrouble;
  }
  return install(copy, file, live, nullptr, nullptr);
}

// Starts a change of the list: its folder checked, its lock taken, the list read; false, having
// said why, when the change cannot go on.
bool beginChange(const std::string &file, ListLock &lock, std::string &live, std::string &data) {
  live = livePath(file);
  std::string err;
  if (safeFolder(live, err) && lock.acquire(live, err) && readCurrent(file, live, data, err))
    return true;
  std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
  return false;
}

}  // namespace

int editCommand(const std::string &file) {
  ListLock lock;
  std::string live, data;
  if (!beginChange(file, lock, live, data)) return kTrouble;
  ListCopy copy;
  std::string err;
  if (!copy.create(live, data, err)) {
    std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
    return kTrouble;
  }
  const Report before = checkList(file, data);
  const bool terminal = isatty(STDIN_FILENO) != 0;
  for (;;) {
    const int status = runEditor(copy.path());
    std::string edited;
    if (status != 0) {
      const std::string how =
          status < 0 ? "did not run to its end" : "exited with status " + std::to_string(status);
      std::fprintf(stderr, "tolvane-list: the editor %s: %s is unchanged\n", how.c_str(),
                   file.c_str());
      return kTrouble;
    }
    if (!readWhole(copy.path(), edited, err)) {
      std::fprintf(stderr, "tolvane-list: %s; %s is unchanged\n", err.c_str(), file.c_str());
      return kTrouble;
    }
    if (edited == data) {
      std::printf("%s: no change: nothing written\n", file.c_str());
      return kClean;
    }
    const Report after = checkList(file, edited);
    printFindings(after);
    if (installable(after)) return install(copy, file, live, &before, &after);
    if (!terminal) {
      std::printf("%s: not installed: the edited list has errors; the list is unchanged\n",
                  file.c_str());
      return kFindings;
    }
    const char choice = ask();
    if (choice == 'i') return install(copy, file, live, &before, &after);
    if (choice == 'x') {
      std::printf("%s: left as it was\n", file.c_str());
      return kFindings;
    }
  }
}

int addCommand(const std::string &file, const std::string &line, bool dryRun) {
  ListLock lock;
  std::string live, data;
  if (!beginChange(file, lock, live, data)) return kTrouble;
  std::string after = data;
  if (!after.empty() && after.back() != '\n') after += '\n';
  after += line + "\n";
  return applyChange(file, live, data, after, dryRun);
}

int removeCommand(const std::string &file, const std::vector<int> &lines, bool dryRun) {
  ListLock lock;
  std::string live, data;
  if (!beginChange(file, lock, live, data)) return kTrouble;
  const std::set<int> gone(lines.begin(), lines.end());
  std::string after;
  int n = 1;
  for (size_t at = 0; at < data.size(); ++n) {
    size_t end = data.find('\n', at);
    end = end == std::string::npos ? data.size() : end + 1;
    if (gone.count(n) == 0) after.append(data, at, end - at);
    at = end;
  }
  const int last = n - 1;
  if (*gone.rbegin() > last || *gone.begin() < 1) {
    std::fprintf(stderr, "tolvane-list: %s has %d line%s: there is no line %d\n", file.c_str(),
                 last, last == 1 ? "" : "s",
                 *gone.rbegin() > last ? *gone.rbegin() : *gone.begin());
    return kTrouble;
  }
  return applyChange(file, live, data, after, dryRun);
}

}  // namespace tl
