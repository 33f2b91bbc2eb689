#include "install.h"

#include "listfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tl {
namespace {

std::string nameOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string sibling(const std::string &path, const std::string &name) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string failed(const std::string &what, const std::string &path) {
  return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

// The copy to remove when a signal ends the process; a fixed buffer, for the handler.
char pendingCopy[PATH_MAX];

void removePendingCopy(int sig) {
  if (pendingCopy[0] != '\0') unlink(pendingCopy);
  signal(sig, SIG_DFL);
  raise(sig);
}

bool writeAll(int fd, const std::string &content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string folderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string livePath(const std::string &path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

ListLock::~ListLock() {
  if (fd_ >= 0) close(fd_);
}

bool ListLock::acquire(const std::string &path, std::string &err) {
  const std::string lock = sibling(path, "." + nameOf(path) + ".lock");
  fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    err = failed("lock", path) + " (the lock file is " + lock + ")";
    return false;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    char pid[32] = "";
    const ssize_t n = pread(fd_, pid, sizeof pid - 1, 0);
    pid[n > 0 ? n : 0] = '\0';
    pid[std::strcspn(pid, "\n")] = '\0';
    err = path + " is being changed by another tolvane-list" +
          (pid[0] != '\0' ? std::string(" (process ") + pid + ")" : std::string()) +
          ": try again when it is done";
    close(fd_);
    fd_ = -1;
    return false;
  }
  // Who holds it, for the message another change gives.
  const std::string me = std::to_string(getpid()) + "\n";
  if (ftruncate(fd_, 0) == 0) (void)pwrite(fd_, me.data(), me.size(), 0);
  return true;
}

ListCopy::~ListCopy() {
  if (!path_.empty()) unlink(path_.c_str());
  pendingCopy[0] = '\0';
}

bool ListCopy::create(const std::string &list, const std::string &content, std::string &err) {
  std::string templ = sibling(list, "." + nameOf(list) + ".XXXXXX");
  const int fd = mkostemp(templ.data(), O_CLOEXEC);
  if (fd < 0) {
    err = failed("make a copy in the folder of", list);
    return false;
  }
  close(fd);
  path_ = templ;
  if (path_.size() < sizeof pendingCopy) {
    std::memcpy(pendingCopy, path_.c_str(), path_.size() + 1);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, removePendingCopy);
  }
  return write(content, err);
}

bool ListCopy::write(const std::string &content, std::string &err) const {
  const int fd = open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  const bool ok = fd >= 0 && writeAll(fd, content);
  if (!ok) err = failed("write", path_);
  if (fd >= 0 && close(fd) != 0 && ok) {
    err = failed("write", path_);
    return false;
  }
  return ok;
}

bool ListCopy::install(const std::string &list, std::string &err) {
  struct stat old {};
  const bool exists = stat(list.c_str(), &old) == 0;
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    err = failed("open", path_);
    return false;
  }
  const uid_t uid = exists ? old.st_uid : geteuid();
  const gid_t gid = exists ? old.st_gid : getegid();
  const mode_t mode = exists ? old.st_mode & 07777 : 0644;
  bool ok = true;
  if (fchown(fd, uid, gid) != 0) {
    err = failed("give the new list the owner and group of", list);
    ok = false;
  } else if (fchmod(fd, mode) != 0) {
    err = failed("give the new list the mode of", list);
    ok = false;
  } else if (fsync(fd) != 0) {
    err = failed("write to disk", path_);
    ok = false;
  }
  close(fd);
  if (!ok) return false;
  if (rename(path_.c_str(), list.c_str()) != 0) {
    err = failed("rename the new list over", list);
    return false;
  }
  path_.clear();  // installed: nothing to remove
  pendingCopy[0] = '\0';
  const int dir = open(folderOf(list).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

bool readWhole(const std::string &path, std::string &data, std::string &err) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    err = failed("read", path);
    return false;
  }
  const bool ok = readUpTo(fd, std::string::npos, data);
  if (!ok) err = failed("read", path);
  close(fd);
  return ok;
}

}  // namespace tl
