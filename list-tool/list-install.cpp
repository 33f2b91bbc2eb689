#include "list-install.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "paths.h"
#include "read-list.h"

namespace tl {
namespace {

// Six letters for a new file's name.
std::string randomLetters() {
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

bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the open list still holds the bytes read.
bool sameBytes(int fd, const std::string &bytes) {
  std::string now;
  return lseek(fd, 0, SEEK_SET) == 0 && readUpTo(fd, readMost(), now) && now == bytes;
}

// Puts a new list in place where there was none, never over one that appeared meanwhile.
bool putNew(const ReadList &list, NewFile &next, std::string &err) {
  int r = renameat2(list.dir, next.name().c_str(), list.dir, list.name.c_str(), RENAME_NOREPLACE);
  if (r != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
    // No such rename on this file system: a link cannot replace anything either.
    r = linkat(list.dir, next.name().c_str(), list.dir, list.name.c_str(), 0);
  }
  if (r != 0) {
    if (errno != EEXIST) {
      err = "cannot put the new list in place as " + joined(list.folder, list.name) + ": " +
            std::strerror(errno);
    }
    return false;
  }
  struct stat st {};
  if (fstatat(list.dir, next.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    unlinkat(list.dir, next.name().c_str(), 0);  // the link's other name
  }
  next.forget();
  return true;
}

}  // namespace

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

NewFile::~NewFile() {
  if (!name_.empty()) unlinkat(dir_, name_.c_str(), 0);
}

std::string NewFile::path() const {
  return joined(folder_, name_);
}

bool NewFile::create(int dir, const std::string &folder, const std::string &prefix,
                     std::string &err) {
  dir_ = dir;
  folder_ = folder;
  for (int tries = 0; tries < 100; ++tries) {
    const std::string name = "." + prefix + "." + randomLetters();
    const int fd = openat(dir, name.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fd_.reset(fd);
      name_ = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  err = "cannot make a new file in " + folder + ": " + std::strerror(errno);
  return false;
}

bool NewFile::fill(const std::string &content, const Attributes &a, std::string &err,
                   bool *attributesLost) {
  if (!writeAll(fd_.get(), content)) {
    err = "cannot write " + path() + ": " + std::strerror(errno);
    return false;
  }
  if (!giveAttributes(fd_.get(), a, err)) {
    if (attributesLost != nullptr) *attributesLost = true;
    return false;
  }
  if (fsync(fd_.get()) != 0) {
    err = "cannot write " + path() + " to disk: " + std::strerror(errno);
    return false;
  }
  return true;
}

bool stillAsRead(const ReadList &list) {
  struct stat now {};
  if (fstatat(list.dir, list.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
    return !list.exists && errno == ENOENT;
  return list.exists && sameFile(now, list.st) && sameBytes(list.fd, *list.bytes);
}

Installed installList(const ReadList &list, const std::string &content, const Attributes &attrs,
                      bool backup, std::string &err) {
  NewFile next;
  bool lost = false;
  if (!next.create(list.dir, list.folder, list.name, err) || !next.fill(content, attrs, err, &lost))
    return lost ? Installed::AttributesLost : Installed::Failed;
  if (!stillAsRead(list)) return Installed::ChangedMeanwhile;
  // The previous version, written now and named NAME- once the list is replaced: an install
  // that fails leaves the NAME- of the last change as it was.
  NewFile previous;
  if (list.exists && backup) {
    Attributes old;
    if (!previous.create(list.dir, list.folder, list.name + "-", err) ||
        !attributesOf(list.fd, old, err) || !previous.fill(*list.bytes, old, err, &lost))
      return lost ? Installed::AttributesLost : Installed::Failed;
  }
  if (list.exists) {
    // Exchanged, the old file lies at the new one's name: it must be the file read, unchanged,
    // or the exchange is undone.
    if (renameat2(list.dir, next.name().c_str(), list.dir, list.name.c_str(), RENAME_EXCHANGE) ==
        0) {
      struct stat out {};
      if (fstatat(list.dir, next.name().c_str(), &out, AT_SYMLINK_NOFOLLOW) != 0 ||
          !sameFile(out, list.st) || !sameBytes(list.fd, *list.bytes)) {
        renameat2(list.dir, next.name().c_str(), list.dir, list.name.c_str(), RENAME_EXCHANGE);
        next.forget();  // what lies there now is not ours to remove
        return Installed::ChangedMeanwhile;
      }
    } else {
      // No exchange on this file system: a plain rename, the list compared just before.
      const bool unsupported = errno == EINVAL || errno == ENOSYS || errno == ENOTSUP;
      if (!unsupported ||
          renameat(list.dir, next.name().c_str(), list.dir, list.name.c_str()) != 0) {
        err = "cannot rename the new list over " + joined(list.folder, list.name) + ": " +
              std::strerror(errno);
        return Installed::Failed;
      }
      next.forget();
    }
  } else if (!putNew(list, next, err)) {
    return errno == EEXIST ? Installed::ChangedMeanwhile : Installed::Failed;
  }
  // (After an exchange the old list lies at the new file's name, and goes with it.)
  const std::string kept = list.name + "-";
  if (!previous.name().empty()) {
    if (renameat(list.dir, previous.name().c_str(), list.dir, kept.c_str()) != 0) {
      err = "the new list is in place, but the previous version could not be kept as " +
            joined(list.folder, kept) + " (" + std::strerror(errno) + ")";
      return Installed::PreviousLost;
    }
    previous.forget();
  }
  if (fsync(list.dir) != 0) {
    err = "the new list is in place, but its folder " + list.folder +
          " could not be written to disk (" + std::strerror(errno) +
          "): after a crash the old list may be back";
    return Installed::NotDurable;
  }
  return Installed::Done;
}

}  // namespace tl
