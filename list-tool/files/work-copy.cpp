#include "files/work-copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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
// digits, as mkdtemp makes them.
constexpr const char *kPrivateTop = "/var/tmp";
constexpr const char *kPrefix = "tolvane-edit.";
// The attribute that marks a private folder with the path of the list its copy is of; only root
// can set or remove an attribute of this namespace, the folder's owner cannot.
constexpr const char *kMark = "trusted.tolvane-list.list";

// Whether `entry` is named as a private folder is.
bool privateName(const std::string &entry) {
  const size_t n = std::char_traits<char>::length(kPrefix);
  return entry.size() == n + 6 && entry.compare(0, n, kPrefix) == 0 &&
         std::all_of(entry.begin() + static_cast<long>(n), entry.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Whether the private folder open at `fd` is not marked for another list than `live`.
bool markedFor(int fd, const std::string &live) {
  char mark[4096];
  const ssize_t n = fgetxattr(fd, kMark, mark, sizeof mark);
  if (n < 0) return errno != ERANGE;  // unmarked: made where marks are not kept, or before them
  return std::string(mark, static_cast<size_t>(n)) == live;
}

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
  if (kept_ || name_.empty()) return;
  unlinkat(dir_.get(), name_.c_str(), 0);
  if (!private_.empty()) {
    UniqueFd parent(open(folderOf(private_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.valid()) unlinkat(parent.get(), nameOf(private_).c_str(), AT_REMOVEDIR);
  }
}

Outcome WorkCopy::create(const ListPlace &place, const std::string &content,
                         const Account *delegate) {
  delegate_ = delegate;
  Attributes mine = newListAttributes();
  mine.mode = 0600;
  if (delegate == nullptr) {
    NewFile copy;
    Outcome made = copy.create(place, place.name);
    if (made.ok()) made = copy.fill(content, mine);
    if (!made.ok()) return made;
    dir_.reset(dup(place.dir.get()));
    name_ = copy.name();
    path_ = copy.path();
    copy.forget();
    if (!dir_.valid())
      return trouble(std::string("cannot keep the list's folder open: ") + std::strerror(errno));
    return done();
  }
  // A private folder of the delegate's: made by root where only its maker can enter, then given
  // to the delegate.
  std::string made = joined(kPrivateTop, kPrefix) + "XXXXXX";
  char *templ = &made[0];
  if (mkdtemp(templ) == nullptr)
    return trouble(std::string("cannot make a private folder in ") + kPrivateTop + ": " +
                   std::strerror(errno));
  // From here on the destructor removes the folder (and the copy) unless the copy is kept.
  private_ = templ;
  name_ = place.name;
  path_ = joined(private_, name_);
  dir_.reset(open(templ, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  // Marked with the list's path while root still owns it (where the file system keeps marks),
  // so that a copy kept there is told apart from another list's.
  const std::string live = place.live();
  if (dir_.valid()) (void)fsetxattr(dir_.get(), kMark, live.data(), live.size(), 0);
  if (!dir_.valid() || fchown(dir_.get(), delegate->uid, delegate->gid) != 0 ||
      fchmod(dir_.get(), 0700) != 0)
    return trouble("cannot give " + private_ + " to " + delegate->name + ": " +
                   std::strerror(errno));
  UniqueFd fd(openat(dir_.get(), name_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
  mine.uid = delegate->uid;
  mine.gid = delegate->gid;
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

std::vector<KeptCopy> keptCopiesOf(const ListPlace &place) {
  std::vector<KeptCopy> out;
  UniqueFd top(open(kPrivateTop, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  const int listed = top.valid() ? dup(top.get()) : -1;
  DIR *d = listed >= 0 ? fdopendir(listed) : nullptr;
  if (d == nullptr) {
    if (listed >= 0) close(listed);
    return out;
  }
  while (const dirent *e = readdir(d)) {
    const std::string entry = e->d_name;
    struct stat folder {
    }, now{}, copy{};
    if (!privateName(entry) ||
        fstatat(top.get(), entry.c_str(), &folder, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(folder.st_mode) || (folder.st_mode & 07777) != 0700 || folder.st_uid == 0)
      continue;
    UniqueFd fd(openat(top.get(), entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() || fstat(fd.get(), &now) != 0 || !sameFile(now, folder) ||
        !markedFor(fd.get(), place.live()) ||
        fstatat(fd.get(), place.name.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(copy.st_mode) || copy.st_nlink != 1 || copy.st_uid != folder.st_uid)
      continue;
    out.push_back({joined(joined(kPrivateTop, entry), place.name), folder.st_uid, copy.st_mtime});
  }
  closedir(d);
  std::stable_sort(out.begin(), out.end(),
                   [](const KeptCopy &a, const KeptCopy &b) { return a.changed < b.changed; });
  return out;
}

}  // namespace tl
