// A file descriptor owned by one object and closed with it.
#ifndef TOLVANE_LIST_UNIQUE_FD_H
#define TOLVANE_LIST_UNIQUE_FD_H

#include <unistd.h>

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

}  // namespace tl

#endif
