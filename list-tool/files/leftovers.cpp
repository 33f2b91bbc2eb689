#include "files/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

#include "files/descriptors.h"
#include "files/list-file.h"

namespace tl {
namespace {

// The suffix S of ".NAME.S" or ".NAME-.S" (six letters or digits), "" for any other name;
// `previous` tells which of the two it is.
std::string suffixOf(const std::string &entry, const std::string &name, bool &previous) {
  for (const bool p : {false, true}) {
    const std::string prefix = "." + name + (p ? "-." : ".");
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) continue;
    std::string s = entry.substr(prefix.size());
    if (std::all_of(s.begin(), s.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
      previous = p;
      return s;
    }
  }
  return "";
}

// Whether the entry is a plain file of one name that a trusted account owns, with when it was
// last written, and its bytes in `bytes` when they can be read (`read` tells).
bool trustedFile(const ListPlace &place, const std::string &entry, const Trusted &trusted,
                 time_t &changed, std::string &bytes, bool &read) {
  struct stat st {};
  if (fstatat(place.dir.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode) || st.st_nlink != 1 || !trusted(st.st_uid))
    return false;
  changed = st.st_mtime;
  UniqueFd fd(openat(place.dir.get(), entry.c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat now {};
  read = fd.valid() && fstat(fd.get(), &now) == 0 && sameFile(now, st) &&
         readUpTo(fd.get(), readMost(), bytes);
  return true;
}

}  // namespace

std::vector<Leftover> leftoversOf(const ListPlace &place, const Trusted &trusted) {
  std::vector<Leftover> out;
  const int fd = openat(place.dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return out;
  DIR *d = fdopendir(fd);
  if (d == nullptr) {
    close(fd);
    return out;
  }
  std::map<std::string, size_t> next, previous;  // by suffix: where in `out`
  while (const dirent *e = readdir(d)) {
    const std::string entry = e->d_name;
    bool isPrevious = false;
    const std::string suffix = suffixOf(entry, place.name, isPrevious);
    Leftover l{Leftover::Copy, entry, place.beside(entry), 0, ""};
    bool read = false;
    if (suffix.empty() || !trustedFile(place, entry, trusted, l.changed, l.bytes, read)) continue;
    // Only what can be read can be told apart; anything else is named as a copy.
    if (read) (isPrevious ? previous : next)[suffix] = out.size();
    out.push_back(l);
  }
  closedir(d);
  std::string kept;
  time_t when = 0;
  bool hasKept = false;
  if (!trustedFile(place, place.name + "-", trusted, when, kept, hasKept)) hasKept = false;
  for (const auto &p : previous) {
    Leftover &prev = out[p.second];
    const auto partner = next.find(p.first);
    if (partner == next.end()) continue;
    Leftover &n = out[partner->second];
    const bool exchanged = n.bytes == prev.bytes;
    prev.kind = exchanged ? Leftover::Replaced : Leftover::Unused;
    n.kind = exchanged ? Leftover::OldList : Leftover::Unused;
  }
  for (const auto &n : next) {
    Leftover &l = out[n.second];
    if (l.kind == Leftover::Copy && hasKept && l.bytes == kept) l.kind = Leftover::OldList;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Leftover &a, const Leftover &b) { return a.changed < b.changed; });
  return out;
}

Outcome repairLeftovers(const ListPlace &place, const std::vector<Leftover> &found) {
  const int dir = place.dir.get();
  const std::string kept = place.name + "-";
  for (const Leftover &l : found) {
    if (l.kind != Leftover::Replaced) continue;
    if (renameat(dir, l.name.c_str(), dir, kept.c_str()) != 0) {
      return trouble("cannot make " + l.path + " the previous version " + place.beside(kept) +
                     ": " + std::strerror(errno));
    }
  }
  for (const Leftover &l : found) {
    if ((l.kind == Leftover::Unused || l.kind == Leftover::OldList) &&
        unlinkat(dir, l.name.c_str(), 0) != 0 && errno != ENOENT)
      return trouble("cannot remove " + l.path + ": " + std::strerror(errno));
  }
  if (fsync(dir) != 0)
    return trouble("cannot write the folder " + place.folder + " to disk: " + std::strerror(errno));
  return done();
}

}  // namespace tl
