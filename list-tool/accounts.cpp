#include "accounts.h"

#include <grp.h>
#include <pwd.h>

#include "numbers.h"

namespace tl {
namespace {

Account fromEntry(const passwd &pw) {
  Account a;
  a.name = pw.pw_name;
  a.uid = pw.pw_uid;
  a.gid = pw.pw_gid;
  a.home = pw.pw_dir != nullptr ? pw.pw_dir : "/";
  int n = 64;
  a.groups.resize(static_cast<size_t>(n));
  if (getgrouplist(pw.pw_name, pw.pw_gid, a.groups.data(), &n) < 0) {
    a.groups.resize(static_cast<size_t>(n));
    if (getgrouplist(pw.pw_name, pw.pw_gid, a.groups.data(), &n) < 0) n = 0;
  }
  a.groups.resize(static_cast<size_t>(n));
  if (a.groups.empty()) a.groups.push_back(pw.pw_gid);
  return a;
}

}  // namespace

bool findAccount(const std::string &who, Account &out) {
  if (who.empty()) return false;
  if (const passwd *pw = getpwnam(who.c_str())) {
    out = fromEntry(*pw);
    return true;
  }
  uint64_t id = 0;
  if (!tvc::parseNumber(who, 0xFFFFFFFEu, id) || who.compare(0, 2, "0x") == 0) return false;
  out = accountOf(static_cast<uid_t>(id));
  return true;
}

Account accountOf(uid_t uid) {
  if (const passwd *pw = getpwuid(uid)) return fromEntry(*pw);
  Account a;
  a.name = std::to_string(uid);
  a.uid = uid;
  a.gid = static_cast<gid_t>(-1);
  a.home = "/";
  return a;
}

std::string userName(uid_t uid) {
  const passwd *pw = getpwuid(uid);
  return pw != nullptr ? pw->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid) {
  const group *gr = getgrgid(gid);
  return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

}  // namespace tl
