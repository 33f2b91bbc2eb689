#include "files/accounts.h"

#include <grp.h>
#include <pwd.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdlib>

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

// A user or group id from the environment, as sudo sets it.
bool idFrom(const char *var, uint64_t &id) {
  const char *v = std::getenv(var);
  return v != nullptr && tvc::parseNumber(v, 0xFFFFFFFEu, id) && v[0] != '0';
}

// Closes the descriptors from `first` to `last`, both included.
void closeRange(unsigned first, unsigned last) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, first, last, 0u) == 0) return;
#endif
  for (unsigned fd = first; fd <= last && fd < 1024; ++fd) close(static_cast<int>(fd));
}

// Closes every descriptor but standard input, output and error and the two named.
void closeInherited(int keepA, int keepB) {
  const int low = keepA < keepB ? keepA : keepB, high = keepA < keepB ? keepB : keepA;
  unsigned from = 3;
  for (const int keep : {low, high}) {
    if (keep < static_cast<int>(from)) continue;
    const auto k = static_cast<unsigned>(keep);
    if (k > from) closeRange(from, k - 1);
    from = k + 1;
  }
  closeRange(from, ~0u);
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
  a.name = std::to_string(uid);  // wings: not speech: an account with no entry is named by its id
  a.uid = uid;
  a.gid = static_cast<gid_t>(-1);
  a.home = "/";
  return a;
}

std::string userName(uid_t uid) {
  const passwd *pw = getpwuid(uid);
  return pw != nullptr ? pw->pw_name : std::to_string(uid);  // wings: not speech: a name, as above
}

std::string groupName(gid_t gid) {
  const group *gr = getgrgid(gid);
  return gr != nullptr ? gr->gr_name : std::to_string(gid);  // wings: not speech: a name, as above
}

std::string Invoker::shown() const {
  return delegated ? name + " for " + delegate.name + " (sudo)" : name;
}

Invoker whoInvokes() {
  Invoker who;
  who.name = userName(getuid());
  uint64_t uid = 0, gid = 0;
  if (geteuid() != 0 || !idFrom("SUDO_UID", uid)) return who;
  who.delegated = true;
  who.delegate = accountOf(static_cast<uid_t>(uid));
  if (idFrom("SUDO_GID", gid)) who.delegate.gid = static_cast<gid_t>(gid);
  const char *sudoUser = std::getenv("SUDO_USER");
  // An account sudo names that has no entry of its own takes the name sudo gives it.
  const bool unnamed = getpwuid(static_cast<uid_t>(uid)) == nullptr;
  if (sudoUser != nullptr && *sudoUser != '\0' && unnamed) who.delegate.name = sudoUser;
  if (who.delegate.groups.empty()) who.delegate.groups.push_back(who.delegate.gid);
  if (who.delegate.home.empty()) who.delegate.home = "/";
  return who;
}

bool becomeAccount(const Account &as, int keepA, int keepB) {
  closeInherited(keepA, keepB);
  if (setgroups(as.groups.size(), as.groups.data()) != 0) return false;
  if (setresgid(as.gid, as.gid, as.gid) != 0) return false;
  if (setresuid(as.uid, as.uid, as.uid) != 0) return false;
  uid_t r = 0, e = 0, s = 0;
  gid_t gr = 0, ge = 0, gs = 0;
  if (getresuid(&r, &e, &s) != 0 || r != as.uid || e != as.uid || s != as.uid) return false;
  if (getresgid(&gr, &ge, &gs) != 0 || gr != as.gid || ge != as.gid || gs != as.gid) return false;
  if (as.uid != 0 && setuid(0) == 0) return false;  // root must be out of reach for good
  errno = 0;
  return true;
}

}  // namespace tl
