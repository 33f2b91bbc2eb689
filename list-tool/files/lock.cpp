#include "files/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace tl {
namespace {

// The process named in a lock file, when the file holds nothing but its digits.
std::string holderOf(int fd) {
  char buf[24] = "";
  const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
  std::string s(buf, n > 0 ? static_cast<size_t>(n) : 0);
  if (!s.empty() && s.back() == '\n') s.pop_back();
  if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
    return "";
  return s;
}

// Seconds as people write them: "5", "0.3".
std::string secondsText(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return buf;
}

}  // namespace

Outcome ListLock::acquire(const ListPlace &place, const Trusted &trusted, double waitSeconds,
                          const std::function<void(const std::string &)> &waiting) {
  const int dir = place.dir.get();
  const std::string lockName = "." + place.name + ".lock";
  const std::string shown = place.beside(lockName);
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(waitSeconds * 1000));
  bool told = false;
  for (;;) {
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    UniqueFd fd(openat(dir, lockName.c_str(), kFlags | O_CREAT | O_EXCL, 0600));
    if (!fd.valid() && errno == EEXIST) fd.reset(openat(dir, lockName.c_str(), kFlags));
    struct stat st {};
    if (!fd.valid()) {
      const int e = errno;
      if (fstatat(dir, lockName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        return refused("lock-file", "the lock file " + shown + " is " + kindOf(st.st_mode) +
                                        " (owner " + userName(st.st_uid) +
                                        "): it is not a lock of tolvane-list; remove it if "
                                        "nobody needs it");
      }
      return trouble("cannot open the lock file " + shown + ": " + std::strerror(e));
    }
    if (fstat(fd.get(), &st) != 0)
      return trouble("cannot examine the lock file " + shown + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || !trusted(st.st_uid)) {
      const std::string what = !S_ISREG(st.st_mode) ? std::string("is ") + kindOf(st.st_mode)
                               : st.st_nlink != 1
                                   ? "has " + std::to_string(st.st_nlink) + " names (a hard link)"
                                   : std::string("belongs to another account");
      return refused("lock-file", "the lock file " + shown + " " + what + " (owner " +
                                      userName(st.st_uid) +
                                      "): it is not a lock of tolvane-list; remove it if nobody "
                                      "needs it");
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) {
        return trouble("cannot lock " + shown + ": " + std::strerror(errno) +
                       (errno == ENOLCK ? " (the file system gives no locks)" : ""));
      }
      const std::string holder = holderOf(fd.get());
      const std::string busy = place.live() + " is being changed by another tolvane-list" +
                               (holder.empty() ? "" : " (process " + holder + ")");
      if (waitSeconds < 0 || (waitSeconds > 0 && std::chrono::steady_clock::now() >= until)) {
        return trouble(busy + (waitSeconds < 0
                                   ? ": try again when it is done, or wait for it with --wait"
                                   : ": waited " + secondsText(waitSeconds) + " s in vain"));
      }
      if (!told && waiting) {
        told = true;
        waiting(busy + ": waiting for it to end" +
                (waitSeconds > 0 ? " (at most " + secondsText(waitSeconds) + " s)" : "") +
                "; Ctrl-C gives up and writes nothing");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    // The name may have been replaced while the lock was awaited: then lock the new file.
    struct stat now {};
    if (fstatat(dir, lockName.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev)
      continue;
    const std::string me = std::to_string(getpid()) + "\n";
    if (ftruncate(fd.get(), 0) == 0) (void)!pwrite(fd.get(), me.data(), me.size(), 0);
    fd_ = std::move(fd);
    return done();
  }
}

}  // namespace tl
