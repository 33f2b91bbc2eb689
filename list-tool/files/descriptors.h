// Working through descriptors: a descriptor owned by one object and closed with it, and what
// every step that reads or writes through one shares.
#ifndef TOLVANE_LIST_FILES_DESCRIPTORS_H
#define TOLVANE_LIST_FILES_DESCRIPTORS_H

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>

namespace tl {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  UniqueFd(UniqueFd &&o) noexcept : fd_(o.release()) {}
  UniqueFd &operator=(UniqueFd &&o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Reads at most `most` bytes from the descriptor's current place; false on a read error
// (errno tells).
bool readUpTo(int fd, size_t most, std::string &data);

// Writes all of `content` to the descriptor; false (errno set) when it cannot.
bool writeAll(int fd, const std::string &content);

// What a file of this mode is, for a message: "a FIFO", "a directory", ...
const char *kindOf(mode_t mode);

// Whether two status records are of the same file.
inline bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace tl

#endif
