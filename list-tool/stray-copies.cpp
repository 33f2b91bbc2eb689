#include "stray-copies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "paths.h"

namespace tl {
namespace {

// Whether `entry` is ".NAME.XXXXXX" or ".NAME-.XXXXXX", as changes name their new files.
bool copyName(const std::string &entry, const std::string &name) {
  for (const std::string &prefix : {"." + name + ".", "." + name + "-."}) {
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) continue;
    const bool letters =
        std::all_of(entry.begin() + static_cast<long>(prefix.size()), entry.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    if (letters) return true;
  }
  return false;
}

}  // namespace

std::vector<StrayCopy> strayCopies(int dir, const std::string &folder, const std::string &name,
                                   const Trusted &trusted) {
  std::vector<StrayCopy> out;
  const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return out;
  DIR *d = fdopendir(fd);
  if (d == nullptr) {
    close(fd);
    return out;
  }
  while (const dirent *e = readdir(d)) {
    const std::string entry = e->d_name;
    struct stat st {};
    if (!copyName(entry, name) || fstatat(dir, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || !trusted(st.st_uid))
      continue;
    out.push_back({joined(folder, entry), st.st_mtime});
  }
  closedir(d);
  std::sort(out.begin(), out.end(),
            [](const StrayCopy &a, const StrayCopy &b) { return a.changed < b.changed; });
  return out;
}

std::string shownTime(time_t t) {
  struct tm local {};
  char buf[32] = "";
  if (localtime_r(&t, &local) != nullptr) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &local);
  return buf;
}

}  // namespace tl
