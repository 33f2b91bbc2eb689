#include "files/install.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "files/paths.h"

namespace tl {
namespace {

// Whether the exchange or rename that failed with this error is one the file system lacks.
bool unsupported(int e) {
  return e == EINVAL || e == ENOSYS || e == ENOTSUP;
}

}  // namespace

std::string randomSuffix() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char raw[6] = {};
  if (getrandom(raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
    const auto seed = static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr));
    for (size_t i = 0; i < sizeof raw; ++i) raw[i] = static_cast<unsigned char>(seed >> (i * 5));
  }
  std::string s;
  for (unsigned char c : raw) s += kAlphabet[c % 62];
  return s;
}

NewFile::~NewFile() {
  discard();
}

void NewFile::discard() {
  if (!name_.empty()) unlinkat(dir_, name_.c_str(), 0);
  name_.clear();
  fd_.reset();
}

std::string NewFile::path() const {
  return joined(folder_, name_);
}

Outcome NewFile::create(const ListPlace &place, const std::string &prefix,
                        const std::string &suffix) {
  dir_ = place.dir.get();
  folder_ = place.folder;
  for (int tries = 0; tries < 100; ++tries) {
    const std::string name = "." + prefix + "." + (suffix.empty() ? randomSuffix() : suffix);
    const int fd = openat(dir_, name.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fd_.reset(fd);
      name_ = name;
      return done();
    }
    taken_ = errno == EEXIST;
    if (!taken_ || !suffix.empty()) break;
  }
  return trouble("cannot make a new file in " + folder_ + ": " + std::strerror(errno));
}

Outcome NewFile::fill(const std::string &content, const Attributes &a) {
  if (!writeAll(fd_.get(), content))
    return trouble("cannot write " + path() + ": " + std::strerror(errno));
  Outcome given = giveAttributes(fd_.get(), a);
  if (!given.ok()) return given;
  if (fsync(fd_.get()) != 0)
    return trouble("cannot write " + path() + " to disk: " + std::strerror(errno));
  return done();
}

Outcome ListInstall::plan(bool keepPrevious, std::vector<std::string> &names) {
  keepPrevious_ = keepPrevious && read_ != nullptr;
  const int dir = place_.dir.get();
  for (int tries = 0; tries < 100; ++tries) {
    const std::string s = randomSuffix();
    const std::string next = "." + place_.name + "." + s, previous = "." + place_.name + "-." + s;
    struct stat st {};
    if (fstatat(dir, next.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ||
        (keepPrevious_ && fstatat(dir, previous.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0))
      continue;
    suffix_ = s;
    names = {next};
    if (keepPrevious_) names.push_back(previous);
    return done();
  }
  return trouble("cannot find a free name for a new file in " + place_.folder);
}

Outcome ListInstall::prepare(const std::string &content, const Attributes &attrs) {
  Outcome made = next_.create(place_, place_.name, suffix_);
  if (made.ok() && keepPrevious_) made = previous_.create(place_, place_.name + "-", suffix_);
  if (!made.ok()) return made;
  Outcome filled = next_.fill(content, attrs);
  if (!filled.ok() || !keepPrevious_) return filled;
  Attributes old;
  filled = attributesOf(read_->fd.get(), old);
  if (filled.ok()) filled = previous_.fill(read_->bytes, old);
  return filled;
}

Outcome ListInstall::exchange() {
  const int dir = place_.dir.get();
  const char *next = next_.name().c_str(), *list = place_.name.c_str();
  Outcome meanwhile =
      refused("changed-meanwhile",
              "the list changed since it was read (another program wrote it): nothing written; "
              "look at it and make the change again");
  struct stat now {};
  if (read_ == nullptr) {
    // Where there was no list, never over one that appeared meanwhile.
    int r = renameat2(dir, next, dir, list, RENAME_NOREPLACE);
    if (r != 0 && unsupported(errno)) r = linkat(dir, next, dir, list, 0);
    if (r != 0) {
      if (errno == EEXIST) return meanwhile;
      return trouble("cannot put the new list in place as " + place_.live() + ": " +
                     std::strerror(errno));
    }
    if (fstatat(dir, next, &now, AT_SYMLINK_NOFOLLOW) == 0) unlinkat(dir, next, 0);  // linked
    next_.forget();
    return done();
  }
  if (fstatat(dir, list, &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(now, read_->st) ||
      !stillHolds(read_->fd.get(), read_->bytes))
    return meanwhile;
  if (renameat2(dir, next, dir, list, RENAME_EXCHANGE) == 0) {
    // Exchanged, the old file lies at the new one's name: it must be the file read, unchanged,
    // or the exchange is undone.
    if (fstatat(dir, next, &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(now, read_->st) ||
        !stillHolds(read_->fd.get(), read_->bytes)) {
      renameat2(dir, next, dir, list, RENAME_EXCHANGE);
      next_.forget();  // what lies there now is not ours to remove
      return meanwhile;
    }
    return done();  // the old list, at the new file's name, goes with it
  }
  // No exchange on this file system: a plain rename, the list compared just before. The
  // previous version is named NAME- first, so that a change cut short in between leaves NAME-
  // the list itself, never the version from the change before.
  if (!unsupported(errno)) {
    return trouble("cannot rename the new list over " + place_.live() + ": " +
                   std::strerror(errno));
  }
  Outcome keep = keepPrevious();
  if (!keep.ok()) return keep;
  if (renameat(dir, next, dir, list) != 0) {
    return trouble("cannot rename the new list over " + place_.live() + ": " +
                   std::strerror(errno));
  }
  next_.forget();
  return done();
}

Outcome ListInstall::keepPrevious() {
  if (previous_.name().empty()) return done();
  const int dir = place_.dir.get();
  const std::string kept = place_.name + "-";
  if (renameat(dir, previous_.name().c_str(), dir, kept.c_str()) != 0) {
    return trouble("the previous version could not be kept as " + place_.beside(kept) + " (" +
                   std::strerror(errno) + ")");
  }
  previous_.forget();
  previousKept_ = true;
  return done();
}

Outcome ListInstall::commit() {
  Outcome put = exchange();
  if (!put.ok()) return put;
  installed_ = true;
  Outcome keep = keepPrevious();
  if (!keep.ok()) return trouble("the new list is in place, but " + keep.message);
  next_.discard();  // after an exchange, the old list
  if (fsync(place_.dir.get()) != 0) {
    return trouble("the new list is in place, but its folder " + place_.folder +
                   " could not be written to disk (" + std::strerror(errno) +
                   "): after a crash the old list may be back");
  }
  return done();
}

}  // namespace tl
