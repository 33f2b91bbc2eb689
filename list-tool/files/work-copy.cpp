#include "files/work-copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/attributes.h"
#include "files/install.h"
#include "files/list-file.h"
#include "files/paths.h"

namespace tl {
namespace {

// Where delegates' private folders are made, and how they are named: kPrefix and six letters or
// digits.
constexpr const char *kPrivateTop = "/var/tmp";
constexpr const char *kPrefix = "tolvane-edit.";

// What reading the copy found, as the reader of a delegate's copy sends it back through its
// pipe: this header, then `length` bytes (the copy's, or what a link there names).
struct CopyFound {
  enum Kind : int32_t { Bytes, Link, Error } kind = Error;
  int32_t error = 0;    // Error: the errno, or 0 when `length` bytes say why
  uint32_t length = 0;  // of what follows
};

// Reads the copy `name` in `dir` without following a link: its bytes, or what a link there
// names, or why it cannot be read.
CopyFound readCopy(int dir, const char *name, std::string &text) {
  CopyFound found;
  text.clear();
  UniqueFd fd(openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid()) {
    found.error = errno;
    if (found.error == ELOOP) {
      char target[PATH_MAX];
      const ssize_t n = readlinkat(dir, name, target, sizeof target - 1);
      text.assign(target, n > 0 ? static_cast<size_t>(n) : 0);
      found.kind = CopyFound::Link;
    }
  } else if (fstat(fd.get(), &st) != 0 ||
             (S_ISREG(st.st_mode) && st.st_nlink == 1 && !readUpTo(fd.get(), readMost(), text))) {
    found.error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    text = std::string("is ") + kindOf(st.st_mode);
  } else if (st.st_nlink != 1) {
    text = "has other names (hard links)";
  } else {
    found.kind = CopyFound::Bytes;
  }
  if (found.error != 0 && found.kind == CopyFound::Error) text = std::strerror(found.error);
  found.length = static_cast<uint32_t>(text.size());
  return found;
}

}  // namespace

WorkCopy::~WorkCopy() {
  if (kept_ || !made_) return;
  unlinkat(dir_.get(), name_.c_str(), 0);
  if (!private_.empty()) {
    UniqueFd parent(open(folderOf(private_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.valid()) unlinkat(parent.get(), nameOf(private_).c_str(), AT_REMOVEDIR);
  }
}

uid_t WorkCopy::owner() const {
  return delegate_ != nullptr ? delegate_->uid : geteuid();
}

Outcome WorkCopy::plan(const ListPlace &place, const Account *delegate) {
  delegate_ = delegate;
  place_ = &place;
  if (delegate == nullptr) {
    for (int tries = 0; tries < 100; ++tries) {
      const std::string name = "." + place.name + ".edit." + randomSuffix();
      struct stat st {};
      if (fstatat(place.dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
      name_ = name;
      path_ = place.beside(name);
      return done();
    }
    return trouble("cannot find a free name for a copy in " + place.folder);
  }
  UniqueFd top(open(kPrivateTop, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!top.valid())
    return trouble(std::string("cannot open ") + kPrivateTop + ": " + std::strerror(errno));
  for (int tries = 0; tries < 100; ++tries) {
    const std::string folder = kPrefix + randomSuffix();
    struct stat st {};
    if (fstatat(top.get(), folder.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
    private_ = joined(kPrivateTop, folder);
    name_ = place.name;
    path_ = joined(private_, name_);
    return done();
  }
  return trouble(std::string("cannot find a free name for a private folder in ") + kPrivateTop);
}

Outcome WorkCopy::create(const std::string &content) {
  Attributes mine = newListAttributes();
  mine.mode = 0600;
  if (delegate_ == nullptr) {
    NewFile copy;
    const std::string prefix = place_->name + ".edit";
    Outcome made = copy.create(*place_, prefix, name_.substr(prefix.size() + 2));
    if (made.ok()) made = copy.fill(content, mine);
    if (!made.ok()) return made;
    dir_.reset(dup(place_->dir.get()));
    copy.forget();
    made_ = true;
    if (!dir_.valid())
      return trouble(std::string("cannot keep the list's folder open: ") + std::strerror(errno));
    return done();
  }
  // A private folder of the delegate's: made by root where only its maker can enter, under the
  // name put on record, then given to the delegate.
  UniqueFd top(open(kPrivateTop, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  const std::string folder = nameOf(private_);
  if (!top.valid() || mkdirat(top.get(), folder.c_str(), 0700) != 0)
    return trouble("cannot make the private folder " + private_ + ": " + std::strerror(errno));
  // From here on the destructor removes the folder (and the copy) unless the copy is kept.
  made_ = true;
  dir_.reset(openat(top.get(), folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!dir_.valid() || fstat(dir_.get(), &st) != 0 || st.st_uid != geteuid() ||
      fchown(dir_.get(), delegate_->uid, delegate_->gid) != 0 || fchmod(dir_.get(), 0700) != 0)
    return trouble("cannot give " + private_ + " to " + delegate_->name + ": " +
                   std::strerror(errno));
  UniqueFd fd(openat(dir_.get(), name_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
  mine.uid = delegate_->uid;
  mine.gid = delegate_->gid;
  if (!fd.valid()) return trouble("cannot make " + path_ + ": " + std::strerror(errno));
  // A copy cut short (a full /var/tmp) would show the delegate a list with administrators
  // missing: the editor never sees one.
  if (!writeAll(fd.get(), content))
    return trouble("cannot write " + path_ + ": " + std::strerror(errno));
  Outcome given = giveAttributes(fd.get(), mine);
  return given.ok() ? given : trouble(given.message);
}

Outcome WorkCopy::read(std::string &data) const {
  CopyFound found;
  std::string text;
  if (delegate_ == nullptr) {
    found = readCopy(dir_.get(), name_.c_str(), text);
  } else {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
      return trouble(std::string("cannot read the copy: ") + std::strerror(errno));
    UniqueFd in(pipeFds[0]), out(pipeFds[1]);
    // The child, with the delegate's ids, writes at most a list's worth.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return trouble(std::string("cannot read the copy: ") + std::strerror(errno));
    if (pid == 0) {
      in.reset();
      // The delegate can stop this child: it keeps the copy's folder and the pipe, and none of
      // root's descriptors (the lock above all, which would hold the list after the tool ended).
      if (!becomeAccount(*delegate_, dir_.get(), out.get())) _exit(126);
      std::string bytes;
      const CopyFound mine = readCopy(dir_.get(), name_.c_str(), bytes);
      writeAll(out.get(), std::string(reinterpret_cast<const char *>(&mine), sizeof mine) + bytes);
      _exit(0);
    }
    out.reset();
    std::string said;
    readUpTo(in.get(), sizeof found + readMost(), said);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (said.size() >= sizeof found) {
      std::memcpy(&found, said.data(), sizeof found);
      text = said.substr(sizeof found);
    }
    if (said.size() < sizeof found || text.size() != found.length) {
      return refused(
          "copy-unreadable",
          "cannot read " + path_ + ": " +
              (WIFSIGNALED(status) ? "the reader, with the ids of " + delegate_->name +
                                         ", was ended by SIG" + sigabbrev_np(WTERMSIG(status))
                                   : "the reader could not take " + delegate_->name + "'s ids"));
    }
  }
  if (found.kind == CopyFound::Bytes) {
    data = text;
    return done();
  }
  if (found.kind == CopyFound::Link) {
    return refused("copy-unreadable", path_ + " is now a symbolic link to " + text +
                                          ": refused (only a plain file is read back)");
  }
  return refused("copy-unreadable", "cannot read " + path_ + ": " + text);
}

bool WorkCopy::exists() const {
  struct stat st {};
  return dir_.valid() && fstatat(dir_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string WorkCopy::unsavedBeside() const {
  for (const std::string &name : {"." + name_ + ".swp", "#" + name_ + "#"}) {
    struct stat st {};
    if (dir_.valid() && fstatat(dir_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      return joined(folderOf(path_), name);
  }
  return "";
}

const std::string &WorkCopy::keep() {
  kept_ = true;
  return path_;
}

PrivateCopy privateCopyAt(const std::string &path, uid_t owner) {
  PrivateCopy found;
  const std::string folder = folderOf(path), name = nameOf(path);
  if (folderOf(folder) != kPrivateTop) return found;
  UniqueFd top(open(kPrivateTop, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd dir(top.valid() ? openat(top.get(), nameOf(folder).c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                           : -1);
  struct stat st {
  }, copy{};
  if (!dir.valid() || fstat(dir.get(), &st) != 0 || st.st_uid != owner ||
      (st.st_mode & 07777) != 0700)
    return found;
  UniqueFd fd(
      openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid() || fstat(fd.get(), &copy) != 0 || !S_ISREG(copy.st_mode) || copy.st_nlink != 1 ||
      copy.st_uid != owner || !readUpTo(fd.get(), readMost(), found.bytes))
    return found;
  found.there = true;
  found.changed = copy.st_mtime;
  return found;
}

void removePrivateCopy(const std::string &path) {
  const std::string folder = folderOf(path);
  if (folderOf(folder) != kPrivateTop) return;
  UniqueFd top(open(kPrivateTop, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd dir(top.valid() ? openat(top.get(), nameOf(folder).c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                           : -1);
  if (!dir.valid()) return;
  unlinkat(dir.get(), nameOf(path).c_str(), 0);
  unlinkat(top.get(), nameOf(folder).c_str(), AT_REMOVEDIR);
}

}  // namespace tl
