#include "files/beside-list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "files/descriptors.h"
#include "files/list-file.h"

namespace tl {

FoundFile foundBeside(const ListPlace &place, const Trusted &trusted, const std::string &name) {
  FoundFile f;
  struct stat st {};
  if (fstatat(place.dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return f;
  f.there = true;
  f.changed = st.st_mtime;
  f.owner = st.st_uid;
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || !trusted(st.st_uid)) return f;
  UniqueFd fd(openat(place.dir.get(), name.c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat now {};
  f.plain = fd.valid() && fstat(fd.get(), &now) == 0 && sameFile(now, st) &&
            readUpTo(fd.get(), readMost(), f.bytes);
  return f;
}

Outcome putRight(const ListPlace &place, const std::string &previous,
                 const std::vector<std::string> &remove) {
  const int dir = place.dir.get();
  const std::string kept = place.name + "-";
  if (!previous.empty() && renameat(dir, previous.c_str(), dir, kept.c_str()) != 0) {
    return trouble("cannot make " + place.beside(previous) + " the previous version " +
                   place.beside(kept) + ": " + std::strerror(errno));
  }
  for (const std::string &name : remove) {
    if (unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT)
      return trouble("cannot remove " + place.beside(name) + ": " + std::strerror(errno));
  }
  if (fsync(dir) != 0)
    return trouble("cannot write the folder " + place.folder + " to disk: " + std::strerror(errno));
  return done();
}

Outcome removeBeside(const ListPlace &place, const std::string &name) {
  if (unlinkat(place.dir.get(), name.c_str(), 0) != 0 && errno != ENOENT)
    return trouble("cannot remove " + place.beside(name) + ": " + std::strerror(errno));
  return done();
}

std::vector<std::string> toolNamesBeside(const ListPlace &place) {
  std::vector<std::string> out;
  const int fd = openat(place.dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR *d = fd < 0 ? nullptr : fdopendir(fd);
  if (d == nullptr) {
    if (fd >= 0) close(fd);
    return out;
  }
  const std::vector<std::string> prefixes = {"." + place.name + ".", "." + place.name + "-.",
                                             "." + place.name + ".edit."};
  while (const dirent *e = readdir(d)) {
    const std::string entry = e->d_name;
    for (const std::string &p : prefixes) {
      if (entry.size() != p.size() + 6 || entry.compare(0, p.size(), p) != 0) continue;
      if (std::all_of(entry.begin() + static_cast<long>(p.size()), entry.end(),
                      [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        out.push_back(entry);
    }
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace tl
