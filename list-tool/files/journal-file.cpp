#include "files/journal-file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/access-list.h"
#include "files/list-file.h"

namespace tl {
namespace {

// The most of a journal read: twice what it grows to before it is rotated, and more.
constexpr size_t kReadMost = 4 * kJournalRotateAt;
// kReadMost as a refusal says it, written out here: this wing returns facts, never formats.
constexpr const char *kReadMostSaid = "2097152 bytes";
static_assert(kReadMost == 2097152, "kReadMostSaid names kReadMost");

// Reads the whole file at the descriptor, from its start, into `data`.
bool readWhole(int fd, std::string &data) {
  return lseek(fd, 0, SEEK_SET) == 0 && readUpTo(fd, kReadMost + 1, data);
}

// The lines of `data` ending in a newline; a last line without one is left out.
void linesOf(const std::string &data, std::vector<std::string> &lines) {
  size_t at = 0;
  for (size_t end = data.find('\n'); end != std::string::npos; end = data.find('\n', at)) {
    lines.push_back(data.substr(at, end - at));
    at = end + 1;
  }
}

}  // namespace

std::string journalName(const std::string &listName) {
  return "." + listName + ".journal";
}

std::string rotatedJournalName(const std::string &listName) {
  return journalName(listName) + ".1";
}

std::string JournalFile::path() const {
  return place_ == nullptr ? "" : place_->beside(journalName(place_->name));
}

Outcome JournalFile::judge(int fd, const std::string &name, struct stat &st) const {
  const std::string shown = place_->beside(name);
  if (fstat(fd, &st) != 0) return trouble("cannot examine " + shown + ": " + std::strerror(errno));
  const std::string fix =
      ": it may be planted; look at it, then move it aside (the next change starts a new "
      "journal)";
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
    return refused("journal-kind", "the journal " + shown + " is " +
                                       (S_ISREG(st.st_mode) ? "a file with other names (hard links)"
                                                            : kindOf(st.st_mode)) +
                                       ", not the plain file the tool makes" + fix);
  }
  if (!trusted_(st.st_uid)) {
    return refused("journal-owner", "the journal " + shown + " belongs to " + userName(st.st_uid) +
                                        ", not to " + trusted_.who() + fix);
  }
  const std::vector<Writer> writers = writersOf(st, accessListOf(fd), trusted_);
  if (!writers.empty() || (st.st_mode & 022) != 0) {
    return refused("journal-writable", "the journal " + shown + " can be written by " +
                                           (writers.empty() ? std::string("its group or everyone")
                                                            : writers.front().phrase()) +
                                           ", who can make it say anything" + fix);
  }
  return done();
}

Outcome JournalFile::open(const ListPlace &place, const Trusted &trusted, bool write) {
  place_ = &place;
  trusted_ = trusted;
  write_ = write;
  const std::string name = journalName(place.name);
  const int flags =
      (write ? O_RDWR | O_APPEND : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  UniqueFd fd(openat(place.dir.get(), name.c_str(), flags));
  if (!fd.valid()) {
    if (errno == ENOENT) return done();
    if (errno == ELOOP) {
      return refused("journal-kind", "the journal " + path() +
                                         " is a symbolic link, not the plain file the tool "
                                         "makes: it may be planted; look at it, then move it "
                                         "aside (the next change starts a new journal)");
    }
    return trouble("cannot open the journal " + path() + ": " + std::strerror(errno));
  }
  Outcome judged = judge(fd.get(), name, st_);
  if (!judged.ok()) return judged;
  fd_ = std::move(fd);
  return done();
}

Outcome JournalFile::read(std::vector<std::string> &lines, size_t &rotated) {
  lines.clear();
  rotated = 0;
  if (!fd_.valid()) return done();
  // The rotated journal first, judged as the journal is.
  const std::string old = rotatedJournalName(place_->name);
  UniqueFd before(openat(place_->dir.get(), old.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  std::string data;
  if (before.valid()) {
    struct stat st {};
    Outcome judged = judge(before.get(), old, st);
    if (!judged.ok()) return judged;
    if (!readWhole(before.get(), data))
      return trouble("cannot read " + place_->beside(old) + ": " + std::strerror(errno));
    linesOf(data, lines);
    rotated = lines.size();
  } else if (errno != ENOENT) {
    return trouble("cannot open " + place_->beside(old) + ": " + std::strerror(errno));
  }
  if (!readWhole(fd_.get(), data))
    return trouble("cannot read the journal " + path() + ": " + std::strerror(errno));
  if (data.size() > kReadMost) {
    return refused("journal-damaged", "the journal " + path() +
                                          " is longer than a journal grows (" + kReadMostSaid +
                                          "): look at it, then move it aside (the next "
                                          "change starts a new journal)");
  }
  linesOf(data, lines);
  return done();
}

Outcome JournalFile::create() {
  const std::string name = journalName(place_->name);
  UniqueFd fd(openat(place_->dir.get(), name.c_str(),
                     O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                     0600));
  if (!fd.valid())
    return trouble("cannot make the journal " + path() + ": " + std::strerror(errno));
  // Owned as the list is, so that whoever may change the list may keep its journal.
  if (place_->exists && geteuid() == 0 && trusted_(place_->st.st_uid) &&
      fchown(fd.get(), place_->st.st_uid, place_->st.st_gid) != 0) {
    const int e = errno;
    unlinkat(place_->dir.get(), name.c_str(), 0);
    return trouble("cannot give the journal " + path() + " the list's owner: " + std::strerror(e));
  }
  if (fstat(fd.get(), &st_) != 0)
    return trouble("cannot examine the journal " + path() + ": " + std::strerror(errno));
  fd_ = std::move(fd);
  return done();
}

Outcome JournalFile::append(const std::string &line) {
  if (!fd_.valid()) {
    Outcome made = create();
    if (!made.ok()) return made;
  }
  // A last line torn by a crash while it was written is no entry: it goes first.
  struct stat st {};
  if (fstat(fd_.get(), &st) != 0)
    return trouble("cannot examine the journal " + path() + ": " + std::strerror(errno));
  if (st.st_size > 0) {
    char last = '\n';
    if (pread(fd_.get(), &last, 1, st.st_size - 1) != 1)
      return trouble("cannot read the journal " + path() + ": " + std::strerror(errno));
    if (last != '\n') {
      std::string data;
      if (!readWhole(fd_.get(), data))
        return trouble("cannot read the journal " + path() + ": " + std::strerror(errno));
      const size_t keep = data.rfind('\n') == std::string::npos ? 0 : data.rfind('\n') + 1;
      if (ftruncate(fd_.get(), static_cast<off_t>(keep)) != 0)
        return trouble("cannot cut the torn last line of " + path() + ": " + std::strerror(errno));
    }
  }
  if (!writeAll(fd_.get(), line + "\n") || fsync(fd_.get()) != 0)
    return trouble("cannot write the journal " + path() + " to disk: " + std::strerror(errno));
  return done();
}

bool JournalFile::full() const {
  struct stat st {};
  return fd_.valid() && fstat(fd_.get(), &st) == 0 &&
         static_cast<size_t>(st.st_size) >= kJournalRotateAt;
}

Outcome JournalFile::rotate(const std::string &first) {
  const int dir = place_->dir.get();
  const std::string name = journalName(place_->name), old = rotatedJournalName(place_->name);
  // The new journal is written whole under a name of its own, then exchanged with the current
  // one, which then takes the rotated one's name: at no moment is there no journal.
  const std::string fresh = name + ".new";
  unlinkat(dir, fresh.c_str(), 0);
  UniqueFd fd(openat(dir, fresh.c_str(),
                     O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                     0600));
  const std::string where = place_->beside(fresh);
  if (!fd.valid()) return trouble("cannot make " + where + ": " + std::strerror(errno));
  if (geteuid() == 0 && fchown(fd.get(), st_.st_uid, st_.st_gid) != 0)
    return trouble("cannot give " + where + " the journal's owner: " + std::strerror(errno));
  if (!writeAll(fd.get(), first + "\n") || fsync(fd.get()) != 0)
    return trouble("cannot write " + where + " to disk: " + std::strerror(errno));
  int r = renameat2(dir, fresh.c_str(), dir, name.c_str(), RENAME_EXCHANGE);
  if (r == 0) {
    r = renameat(dir, fresh.c_str(), dir, old.c_str());
  } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    // No exchange on this file system: for a moment the current journal is the rotated one.
    r = renameat(dir, name.c_str(), dir, old.c_str());
    if (r == 0) r = renameat(dir, fresh.c_str(), dir, name.c_str());
  }
  if (r != 0 || fsync(dir) != 0)
    return trouble("cannot rotate the journal " + path() + ": " + std::strerror(errno));
  fd_ = std::move(fd);
  return done();
}

}  // namespace tl
