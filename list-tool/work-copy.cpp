#include "work-copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "editor.h"
#include "file-attributes.h"
#include "list-install.h"
#include "paths.h"
#include "read-list.h"

namespace tl {
namespace {

// Reads the copy `name` in `dir` without following a link: 'K' and its bytes, or 'L' and what
// a link there names, or 'E' and why it cannot be read.
std::string readCopy(int dir, const char *name) {
  UniqueFd fd(openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid()) {
    if (errno == ELOOP) {
      char target[PATH_MAX];
      const ssize_t n = readlinkat(dir, name, target, sizeof target - 1);
      return "L" + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return std::string("E") + std::strerror(errno);
  }
  if (fstat(fd.get(), &st) != 0) return std::string("E") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return std::string("Eis ") + kindOf(st.st_mode);
  if (st.st_nlink != 1) return "Ehas other names (hard links)";
  std::string data;
  if (!readUpTo(fd.get(), readMost(), data)) return std::string("E") + std::strerror(errno);
  return "K" + data;
}

}  // namespace

WorkCopy::~WorkCopy() {
  if (kept_ || name_.empty()) return;
  unlinkat(dir_.get(), name_.c_str(), 0);
  if (!private_.empty()) {
    UniqueFd parent(open(folderOf(private_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.valid()) unlinkat(parent.get(), nameOf(private_).c_str(), AT_REMOVEDIR);
  }
}

bool WorkCopy::create(int dir, const std::string &folder, const std::string &name,
                      const std::string &content, const Account *delegate, std::string &err) {
  delegate_ = delegate;
  Attributes mine = newListAttributes();
  mine.mode = 0600;
  if (delegate == nullptr) {
    NewFile copy;
    if (!copy.create(dir, folder, name, err) || !copy.fill(content, mine, err)) return false;
    dir_.reset(dup(dir));
    name_ = copy.name();
    path_ = copy.path();
    copy.forget();
    return dir_.valid();
  }
  // A private folder of the delegate's: made by root where only its maker can enter, then given
  // to the delegate.
  char templ[] = "/var/tmp/tolvane-edit.XXXXXX";
  if (mkdtemp(templ) == nullptr) {
    err = std::string("cannot make a private folder in /var/tmp: ") + std::strerror(errno);
    return false;
  }
  // From here on the destructor removes the folder (and the copy) unless the copy is kept.
  private_ = templ;
  name_ = name;
  path_ = joined(private_, name);
  dir_.reset(open(templ, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir_.valid() || fchown(dir_.get(), delegate->uid, delegate->gid) != 0 ||
      fchmod(dir_.get(), 0700) != 0) {
    err = "cannot give " + private_ + " to " + delegate->name + ": " + std::strerror(errno);
    return false;
  }
  UniqueFd fd(openat(dir_.get(), name.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
  mine.uid = delegate->uid;
  mine.gid = delegate->gid;
  if (!fd.valid()) {
    err = "cannot make " + path_ + ": " + std::strerror(errno);
    return false;
  }
  // A copy cut short (a full /var/tmp) would show the delegate a list with administrators
  // missing: the editor never sees one.
  if (!writeAll(fd.get(), content)) {
    err = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return giveAttributes(fd.get(), mine, err);
}

bool WorkCopy::read(std::string &data, std::string &err) const {
  std::string said;
  if (delegate_ == nullptr) {
    said = readCopy(dir_.get(), name_.c_str());
  } else {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
      err = std::string("cannot read the copy: ") + std::strerror(errno);
      return false;
    }
    UniqueFd in(pipeFds[0]), out(pipeFds[1]);
    // The child, with the delegate's ids, writes at most a list's worth.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
      err = std::string("cannot read the copy: ") + std::strerror(errno);
      return false;
    }
    if (pid == 0) {
      in.reset();
      // The delegate can stop this child: it keeps the copy's folder and the pipe, and none of
      // root's descriptors (the lock above all, which would hold the list after the tool ended).
      closeInherited(dir_.get(), out.get());
      if (!becomeAccount(*delegate_)) _exit(126);
      writeAll(out.get(), readCopy(dir_.get(), name_.c_str()));
      _exit(0);
    }
    out.reset();
    readUpTo(in.get(), readMost() + 1, said);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (said.empty()) {
      said = WIFSIGNALED(status) ? "Ethe reader, with the ids of " + delegate_->name +
                                       ", was ended by SIG" + sigabbrev_np(WTERMSIG(status))
                                 : "Ethe reader could not take " + delegate_->name + "'s ids";
    }
  }
  if (said[0] == 'K') {
    data = said.substr(1);
    return true;
  }
  if (said[0] == 'L') {
    err = path_ + " is now a symbolic link to " + said.substr(1) +
          ": refused (only a plain file is read back)";
    return false;
  }
  err = "cannot read " + path_ + ": " + said.substr(1);
  return false;
}

bool WorkCopy::exists() const {
  struct stat st {};
  return dir_.valid() && fstatat(dir_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

const std::string &WorkCopy::keep() {
  kept_ = true;
  return path_;
}

}  // namespace tl
