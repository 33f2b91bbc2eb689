#include "files/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "files/signals.h"

namespace tl {
namespace {

// What a lock file says of the change that holds it, one "key value" a line, as
// holderLines() writes it: "pid 14217", "user root", "for alice", "since 1765370000". A file of
// an older tool holds the digits of the process alone.
struct Holder {
  std::string pid, user, sudoUser, since;
};

// Whether the text is a plain value of this kind: digits, or an account's name (letters,
// digits, '.', '_', '-', '@', '$'), and not too long. Anything else is never shown.
bool plain(const std::string &text, bool digits) {
  const char *const allowed =
      digits ? "0123456789" : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-@$";
  return !text.empty() && text.size() <= (digits ? 19u : 32u) &&
         text.find_first_not_of(allowed) == std::string::npos;
}

Holder holderOf(int fd) {
  char buf[256];
  const ssize_t n = pread(fd, buf, sizeof buf, 0);
  const std::string s(buf, n > 0 ? static_cast<size_t>(n) : 0);
  Holder h;
  size_t at = 0;
  while (at < s.size()) {
    size_t end = s.find('\n', at);
    if (end == std::string::npos) end = s.size();
    const std::string line = s.substr(at, end - at);
    at = end + 1;
    const size_t space = line.find(' ');
    const std::string key = space == std::string::npos ? "" : line.substr(0, space);
    const std::string value = space == std::string::npos ? line : line.substr(space + 1);
    std::string *field = key.empty()      ? &h.pid
                         : key == "pid"   ? &h.pid
                         : key == "user"  ? &h.user
                         : key == "for"   ? &h.sudoUser
                         : key == "since" ? &h.since
                                          : nullptr;
    const bool digits = field == &h.pid || field == &h.since;
    if (field != nullptr && plain(value, digits)) *field = value;
  }
  return h;
}

// What this change writes in its lock file: its process, who runs it (and for whom, through
// sudo), and since when.
std::string holderLines() {
  const Invoker me = whoInvokes();
  std::string s = "pid " + std::to_string(getpid()) + "\n";
  if (plain(me.name, false)) s += "user " + me.name + "\n";
  if (me.delegated && plain(me.delegate.name, false)) s += "for " + me.delegate.name + "\n";
  return s + "since " + std::to_string(static_cast<long long>(std::time(nullptr))) + "\n";
}

}  // namespace

Outcome ListLock::acquire(const ListPlace &place, const Trusted &trusted, double waitSeconds,
                          const std::function<void(const LockHolder &)> &waiting) {
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
      const Holder h = holderOf(fd.get());
      holder_ = {
          h.pid, h.user, h.sudoUser,
          h.since.empty() ? 0 : static_cast<time_t>(std::strtoll(h.since.c_str(), nullptr, 10))};
      if (waitSeconds < 0 || (waitSeconds > 0 && std::chrono::steady_clock::now() >= until))
        return {Outcome::Trouble, "locked", "", 0};
      if (const int sig = endingSignalNoted()) return {Outcome::Trouble, "locked", "", sig};
      if (!told && waiting) {
        told = true;
        waiting(holder_);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    // The name may have been replaced while the lock was awaited: then lock the new file.
    struct stat now {};
    if (fstatat(dir, lockName.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev)
      continue;
    const std::string me = holderLines();
    if (ftruncate(fd.get(), 0) == 0) (void)!pwrite(fd.get(), me.data(), me.size(), 0);
    fd_ = std::move(fd);
    return done();
  }
}

}  // namespace tl
