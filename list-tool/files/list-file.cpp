#include "files/list-file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tv-list.h"

namespace tl {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

Outcome failed(const std::string &shown) {
  return cannotRead("cannot read " + shown + ": " + std::strerror(errno));
}

Outcome notRegular(const std::string &shown, mode_t mode) {
  return cannotRead("cannot read " + shown + ": is " + kindOf(mode) +
                    ", and the plug-in reads only a regular file (it would load no record)");
}

// Reads an open list from its start.
Outcome readOpen(int fd, const std::string &shown, std::string &data) {
  if (lseek(fd, 0, SEEK_SET) < 0 || !readUpTo(fd, readMost(), data)) return failed(shown);
  return done();
}

}  // namespace

size_t readMost() {
  return TV_READ_LIMIT + size_t{1};
}

Outcome readListAt(const std::string &path, std::string &data) {
  if (path == "-") {
    if (readUpTo(STDIN_FILENO, readMost(), data)) return done();
    return cannotRead(std::string("cannot read standard input: ") + std::strerror(errno));
  }
  UniqueFd fd(::open(path.c_str(), kOpenFlags));
  struct stat st {};
  if (!fd.valid() || fstat(fd.get(), &st) != 0) return failed(path);
  if (!S_ISREG(st.st_mode)) return notRegular(path, st.st_mode);
  return readOpen(fd.get(), path, data);
}

Outcome readListIn(const ListPlace &place, const std::string &name, const std::string &shown,
                   OpenList &out) {
  out.fd.reset(openat(place.dir.get(), name.c_str(), kOpenFlags | O_NOFOLLOW));
  if (!out.fd.valid()) {
    struct stat st {};
    if (errno == ELOOP && fstatat(place.dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      return notRegular(shown, st.st_mode);
    return failed(shown);
  }
  if (fstat(out.fd.get(), &out.st) != 0) return failed(shown);
  if (!S_ISREG(out.st.st_mode)) {
    out.fd.reset();
    return notRegular(shown, out.st.st_mode);
  }
  return readOpen(out.fd.get(), shown, out.bytes);
}

bool stillHolds(int fd, const std::string &bytes) {
  std::string now;
  return lseek(fd, 0, SEEK_SET) == 0 && readUpTo(fd, readMost(), now) && now == bytes;
}

}  // namespace tl
