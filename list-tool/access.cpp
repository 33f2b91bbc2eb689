#include "access.h"

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

}  // namespace

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
