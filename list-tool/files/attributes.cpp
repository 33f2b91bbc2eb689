#include "files/attributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tl {
namespace {

// A file capability gives a program privileges: a list is data, and never carries one.
bool carried(const std::string &name) {
  return name != "security.capability";
}

bool listNames(int fd, std::vector<std::string> &names) {
  std::string buf(4096, '\0');
  for (;;) {
    const ssize_t n = flistxattr(fd, buf.data(), buf.size());
    if (n >= 0) {
      for (size_t at = 0; at < static_cast<size_t>(n);) {
        const std::string name(buf.c_str() + at);
        if (!name.empty()) names.push_back(name);
        at += name.size() + 1;
      }
      return true;
    }
    if (errno == ENOTSUP) return true;  // the file system keeps none
    if (errno != ERANGE || buf.size() > (1u << 20)) return false;
    buf.resize(buf.size() * 4);
  }
}

}  // namespace

Outcome attributesOf(int fd, Attributes &out) {
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    return refused("attributes", std::string("cannot examine the list: ") + std::strerror(errno));
  }
  out.uid = st.st_uid;
  out.gid = st.st_gid;
  out.mode = st.st_mode & 0666;
  out.extended.clear();
  std::vector<std::string> names;
  if (!listNames(fd, names)) {
    return refused("attributes", std::string("cannot list the list's extended attributes: ") +
                                     std::strerror(errno));
  }
  for (const std::string &name : names) {
    if (!carried(name)) continue;
    std::string value(256, '\0');
    for (;;) {
      const ssize_t n = fgetxattr(fd, name.c_str(), value.data(), value.size());
      if (n >= 0) {
        value.resize(static_cast<size_t>(n));
        break;
      }
      if (errno != ERANGE || value.size() > (1u << 20)) {
        return refused("attributes", "cannot read the list's extended attribute " + name + ": " +
                                         std::strerror(errno));
      }
      value.resize(value.size() * 4);
    }
    out.extended.emplace_back(name, value);
  }
  return done();
}

Attributes newListAttributes() {
  Attributes a;
  a.uid = geteuid();
  a.gid = getegid();
  a.mode = 0644;
  return a;
}

Outcome giveAttributes(int fd, const Attributes &a) {
  if (fchown(fd, a.uid, a.gid) != 0) {
    return refused("attributes",
                   std::string("cannot give the new list the old one's owner and group: ") +
                       std::strerror(errno));
  }
  // A new file may have been given attributes of its own, such as an access list from its
  // folder's default one: those the list does not have are taken away.
  std::vector<std::string> own;
  if (!listNames(fd, own)) {
    return refused("attributes", std::string("cannot list the new list's extended attributes: ") +
                                     std::strerror(errno));
  }
  for (const std::string &name : own) {
    bool kept = false;
    for (const auto &x : a.extended) kept = kept || x.first == name;
    if (kept || fremovexattr(fd, name.c_str()) == 0) continue;
    return refused("attributes", "cannot take from the new list the extended attribute " + name +
                                     ", which the old one does not have: " + std::strerror(errno));
  }
  for (const auto &x : a.extended) {
    if (fsetxattr(fd, x.first.c_str(), x.second.data(), x.second.size(), 0) != 0) {
      return refused("attributes", "cannot give the new list the old one's extended attribute " +
                                       x.first + ": " + std::strerror(errno));
    }
  }
  if (fchmod(fd, a.mode) != 0) {
    return refused("attributes", std::string("cannot give the new list the old one's mode: ") +
                                     std::strerror(errno));
  }
  return done();
}

}  // namespace tl
