#include "read-list.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tv-list.h"

namespace tl {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

std::string failed(const std::string &shown) {
  return "cannot read " + shown + ": " + std::strerror(errno);
}

std::string notRegular(const std::string &shown, mode_t mode) {
  return "cannot read " + shown + ": is " + kindOf(mode) +
         ", and the plug-in reads only a regular file (it would load no record)";
}

}  // namespace

size_t readMost() {
  return TV_READ_LIMIT + size_t{1};
}

const char *kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

bool readUpTo(int fd, size_t most, std::string &data) {
  data.clear();
  char buf[65536];
  while (data.size() < most) {
    const size_t want = std::min(sizeof buf, most - data.size());
    const ssize_t n = ::read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return true;
}

bool readListAt(const std::string &path, std::string &data, std::string &err) {
  if (path == "-") {
    if (readUpTo(STDIN_FILENO, readMost(), data)) return true;
    err = std::string("cannot read standard input: ") + std::strerror(errno);
    return false;
  }
  UniqueFd fd(::open(path.c_str(), kOpenFlags));
  struct stat st {};
  if (!fd.valid() || fstat(fd.get(), &st) != 0) {
    err = failed(path);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    err = notRegular(path, st.st_mode);
    return false;
  }
  return readOpenList(fd.get(), path, data, err);
}

bool openListIn(int dir, const std::string &name, const std::string &shown, UniqueFd &fd,
                struct stat &st, std::string &err) {
  fd.reset(openat(dir, name.c_str(), kOpenFlags | O_NOFOLLOW));
  if (!fd.valid()) {
    if (errno == ELOOP && fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      err = notRegular(shown, st.st_mode);
    } else {
      err = failed(shown);
    }
    return false;
  }
  if (fstat(fd.get(), &st) != 0) {
    err = failed(shown);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    err = notRegular(shown, st.st_mode);
    fd.reset();
    return false;
  }
  return true;
}

bool readOpenList(int fd, const std::string &shown, std::string &data, std::string &err) {
  if (lseek(fd, 0, SEEK_SET) < 0 || !readUpTo(fd, readMost(), data)) {
    err = failed(shown);
    return false;
  }
  return true;
}

}  // namespace tl
