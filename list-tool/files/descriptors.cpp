#include "files/descriptors.h"

#include <algorithm>
#include <cerrno>

namespace tl {

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

const char *kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

}  // namespace tl
