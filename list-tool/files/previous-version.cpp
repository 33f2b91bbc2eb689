#include "files/previous-version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "files/descriptors.h"
#include "files/list-file.h"
#include "files/paths.h"

namespace tl {
namespace {

// Whether the entry `name` of the folder `dir`, shown as `shown`, can be taken for a previous
// version, by its own status `st` (a link's, not what it names); `why` says what it is when not.
Outcome judged(int dir, const std::string &name, const std::string &shown, const struct stat &st,
               const Trusted &trusted, NotKept &why) {
  why = NotKept{shown, st, ""};
  if (S_ISLNK(st.st_mode)) {
    char target[PATH_MAX];
    const ssize_t n = readlinkat(dir, name.c_str(), target, sizeof target - 1);
    if (n > 0) why.target.assign(target, static_cast<size_t>(n));
    return refused("previous-kind", "");
  }
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1) return refused("previous-kind", "");
  if (!trusted(st.st_uid)) return refused("previous-owner", "");
  return done();
}

// Judges the entry `name` of the folder `dir`; refused "no-previous" when there is none.
Outcome judgedEntry(int dir, const std::string &name, const std::string &shown,
                    const Trusted &trusted, struct stat &st, NotKept &why) {
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT)
      return refused("no-previous", "there is no previous version " + shown + ": nothing to undo");
    return trouble("cannot examine " + shown + ": " + std::strerror(errno));
  }
  return judged(dir, name, shown, st, trusted, why);
}

// Done when there is nothing to say of the entry: it is a previous version, or there is none.
Outcome allowingNone(const Outcome &o) {
  return o.kind == Outcome::Refused && o.code == "no-previous" ? done() : o;
}

}  // namespace

Outcome readPreviousVersion(const ListPlace &place, const Trusted &trusted, std::string &bytes,
                            NotKept &why) {
  const int dir = place.dir.get();
  const std::string name = place.name + "-", shown = place.beside(name);
  struct stat st {};
  Outcome o = judgedEntry(dir, name, shown, trusted, st, why);
  if (!o.ok()) return o;
  OpenList read;
  o = readListIn(place, name, shown, read);
  if (!o.ok()) return o;
  // What was opened is judged again: the name may have been given to another file meanwhile.
  if (!sameFile(read.st, st)) {
    return refused("changed-meanwhile",
                   shown + " was replaced while it was read: nothing written; try again");
  }
  o = judged(dir, name, shown, read.st, trusted, why);
  if (!o.ok()) return o;
  bytes = std::move(read.bytes);
  return done();
}

Outcome judgePreviousVersion(const ListPlace &place, const Trusted &trusted, NotKept &why) {
  struct stat st {};
  const std::string name = place.name + "-";
  return allowingNone(judgedEntry(place.dir.get(), name, place.beside(name), trusted, st, why));
}

Outcome judgePreviousVersionAt(const std::string &path, const Trusted &trusted, NotKept &why) {
  UniqueFd dir(open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return done();  // reading the file says why, when it matters
  struct stat st {};
  return allowingNone(judgedEntry(dir.get(), nameOf(path), path, trusted, st, why));
}

}  // namespace tl
