#include "access.h"

#include "install.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tl {
namespace {

struct Account {
  uid_t uid = 0;
  std::vector<gid_t> groups;
};

bool lookUp(const std::string &user, Account &a) {
  const passwd *pw = getpwnam(user.c_str());
  if (pw == nullptr) return false;
  a.uid = pw->pw_uid;
  int n = 64;
  a.groups.resize(static_cast<size_t>(n));
  if (getgrouplist(user.c_str(), pw->pw_gid, a.groups.data(), &n) < 0) {
    a.groups.resize(static_cast<size_t>(n));
    getgrouplist(user.c_str(), pw->pw_gid, a.groups.data(), &n);
  }
  a.groups.resize(static_cast<size_t>(n));
  return true;
}

std::string nameOfUser(uid_t uid) {
  const passwd *pw = getpwuid(uid);
  return pw != nullptr ? pw->pw_name : std::to_string(uid);
}

std::string nameOfGroup(gid_t gid) {
  const group *gr = getgrgid(gid);
  return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

// Whether the account has the permission `bit` (4 read, 1 search) on this file.
bool allows(const Account &a, const struct stat &st, unsigned bit) {
  if (a.uid == 0) return bit != 1 || (st.st_mode & 0111) != 0 || S_ISDIR(st.st_mode);
  if (st.st_uid == a.uid) return (st.st_mode >> 6 & bit) != 0;
  for (gid_t g : a.groups) {
    if (g == st.st_gid) return (st.st_mode >> 3 & bit) != 0;
  }
  return (st.st_mode & bit) != 0;
}

std::string described(const std::string &path, const struct stat &st) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return path + " is mode " + mode + ", owner " + nameOfUser(st.st_uid) + ":" +
         nameOfGroup(st.st_gid);
}

// The accounts trusted with a list: root, the server's account and the user running the tool.
struct Trusted {
  uid_t as = 0;
  bool hasAs = false;
  bool operator()(uid_t uid) const { return uid == 0 || (hasAs && uid == as) || uid == geteuid(); }
};

std::string octal(mode_t m) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(m & 07777));
  return buf;
}

// Who besides the trusted can write to a file of this status: "" when nobody.
std::string otherWriters(const struct stat &st, const Trusted &trusted) {
  if ((st.st_mode & 0002) != 0) return "everyone";
  if ((st.st_mode & 0020) != 0) return "the group " + nameOfGroup(st.st_gid);
  if (!trusted(st.st_uid)) return "its owner " + nameOfUser(st.st_uid);
  return "";
}

// The first folder from the one holding `entry` up to / that others can write to, unless its
// sticky bit keeps them from replacing what lies below it; "" when there is none.
std::string unsafeFolder(const std::string &dir, const std::string &entry, const Trusted &trusted,
                         std::string &writers) {
  std::string below = entry;  // the entry below the folder on the path
  for (std::string d = dir;; d = folderOf(d)) {
    struct stat st {};
    if (stat(d.c_str(), &st) == 0) {
      writers = otherWriters(st, trusted);
      bool guarded = writers.empty();
      if (!guarded && (st.st_mode & S_ISVTX) != 0 && !below.empty()) {
        struct stat child {};
        guarded = lstat(below.c_str(), &child) == 0 && trusted(child.st_uid);
      }
      if (!guarded) return d;
    }
    if (d == "/") return "";
    below = d;
  }
}

std::string realDir(const std::string &path) {
  char resolved[PATH_MAX];
  const std::string dir = folderOf(path);
  return realpath(dir.c_str(), resolved) != nullptr ? resolved : dir;
}

}  // namespace

std::vector<Guard> guardOf(const std::string &path, const std::string &as) {
  std::vector<Guard> out;
  Trusted trusted;
  if (!as.empty()) {
    Account a;
    trusted.hasAs = lookUp(as, a);
    trusted.as = a.uid;
  }
  const std::string who = as.empty() ? "root or you" : "root, you or " + as;
  struct stat link {};
  if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char target[PATH_MAX];
    char resolved[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    target[n > 0 ? n : 0] = '\0';
    out.push_back({"symlink",
                   "the list is a symbolic link to " + std::string(target) +
                       (realpath(path.c_str(), resolved) != nullptr
                            ? " (" + std::string(resolved) + "): that file is the live list"
                            : ", which does not exist"),
                   false});
  }
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    const std::string writers = otherWriters(st, trusted);
    if (!trusted(st.st_uid)) {
      out.push_back({"list-owner",
                     "the list is owned by " + nameOfUser(st.st_uid) + ", not by " + who +
                         ": its owner can make anyone a host administrator (chown root " + path +
                         ")",
                     false});
    } else if (!writers.empty()) {
      out.push_back({"list-writable",
                     "the list is mode " + octal(st.st_mode) + ": " + writers +
                         " can write it, and so make anyone a host administrator (chmod go-w " +
                         path + ")",
                     writers == "everyone"});
    }
  }
  // The folders of the path as given (where a link lives) and of the file it names.
  const std::string dir = realDir(path);
  const size_t slash = path.rfind('/');
  std::vector<std::pair<std::string, std::string>> chains = {
      {dir, dir + "/" + (slash == std::string::npos ? path : path.substr(slash + 1))}};
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr && realDir(resolved) != dir)
    chains.emplace_back(realDir(resolved), resolved);
  for (const auto &chain : chains) {
    std::string writers;
    const std::string bad = unsafeFolder(chain.first, chain.second, trusted, writers);
    if (bad.empty()) continue;
    const std::string wayOut =
        writers.compare(0, 9, "its owner") == 0
            ? "chown root " + bad
            : "chmod go-w " + bad + ", or chmod +t " + bad + " with what lies below it yours";
    out.push_back({"folder-writable",
                   "the folder " + bad + " on the list's path can be written by " + writers +
                       ", who can replace the list and so make anyone a host administrator (" +
                       wayOut + ")",
                   true});
  }
  return out;
}

bool folderSafe(const std::string &list, std::string &why) {
  Trusted trusted;
  const std::string dir = realDir(list);
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) return true;  // the install reports a missing folder
  const std::string writers = otherWriters(st, trusted);
  if (writers.empty() || (st.st_mode & S_ISVTX) != 0) return true;
  why = "the folder " + dir + " can be written by " + writers +
        ", who could replace the list after it is installed; make it yours alone first (chmod "
        "go-w " +
        dir + ")";
  return false;
}

bool accountExists(const std::string &user) {
  return getpwnam(user.c_str()) != nullptr;
}

bool readableBy(const std::string &path, const std::string &user, std::string &why) {
  Account a;
  if (!lookUp(user, a)) {
    why = "there is no such account";
    return false;
  }
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    why = "its path cannot be resolved";
    return false;
  }
  const std::string full = resolved;
  struct stat st {};
  // Every folder from the root down needs search permission.
  for (size_t slash = full.find('/'); slash != std::string::npos;
       slash = full.find('/', slash + 1)) {
    const std::string dir = slash == 0 ? "/" : full.substr(0, slash);
    if (stat(dir.c_str(), &st) != 0) continue;
    if (!allows(a, st, 1)) {
      why = described(dir, st);
      return false;
    }
  }
  if (stat(full.c_str(), &st) != 0 || !allows(a, st, 4)) {
    why = described("the list", st);
    return false;
  }
  return true;
}

}  // namespace tl
