#include "files/access-list.h"

#include <sys/xattr.h>

#include <algorithm>

namespace tl {
namespace {

// The entry tags of the attribute's format, version 2.
enum : unsigned {
  kUserObj = 0x01,
  kUser = 0x02,
  kGroupObj = 0x04,
  kGroup = 0x08,
  kMask = 0x10,
  kOther = 0x20,
};

unsigned little(const std::string &b, size_t at, size_t n) {
  unsigned v = 0;
  for (size_t i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

bool inGroups(const Account &a, gid_t gid) {
  return std::find(a.groups.begin(), a.groups.end(), gid) != a.groups.end();
}

}  // namespace

bool parseAccessList(const std::string &bytes, AccessList &out) {
  out = AccessList{};
  if (bytes.size() < 4 || (bytes.size() - 4) % 8 != 0 || little(bytes, 0, 4) != 2) return false;
  bool hasMask = false;
  for (size_t at = 4; at < bytes.size(); at += 8) {
    const unsigned tag = little(bytes, at, 2);
    const unsigned perm = little(bytes, at + 2, 2) & 7u;
    const unsigned id = little(bytes, at + 4, 4);
    if (tag == kUser || tag == kGroup) out.named.push_back({tag == kUser, id, perm});
    if (tag == kGroupObj) out.groupObj = perm;
    if (tag == kMask) {
      out.mask = perm;
      hasMask = true;
    }
    if (tag != kUserObj && tag != kUser && tag != kGroupObj && tag != kGroup && tag != kMask &&
        tag != kOther)
      return false;
  }
  if (!hasMask) out.mask = 7;
  out.present = !out.named.empty();
  return true;
}

AccessList accessListOf(int fd) {
  AccessList acl;
  char buf[4096];
  const ssize_t n = fgetxattr(fd, "system.posix_acl_access", buf, sizeof buf);
  if (n > 0) parseAccessList(std::string(buf, static_cast<size_t>(n)), acl);
  return acl;
}

bool permits(const Account &a, const struct stat &st, const AccessList &acl, unsigned bit) {
  if (a.uid == 0) return bit != 1 || S_ISDIR(st.st_mode) || (st.st_mode & 0111) != 0;
  if (st.st_uid == a.uid) return (st.st_mode >> 6 & bit) != 0;
  if (acl.present) {
    for (const AccessList::Entry &e : acl.named) {
      if (e.user && e.id == a.uid) return (e.perm & acl.mask & bit) != 0;
    }
    bool matched = false;
    if (inGroups(a, st.st_gid)) {
      matched = true;
      if ((acl.groupObj & acl.mask & bit) != 0) return true;
    }
    for (const AccessList::Entry &e : acl.named) {
      if (e.user || !inGroups(a, static_cast<gid_t>(e.id))) continue;
      matched = true;
      if ((e.perm & acl.mask & bit) != 0) return true;
    }
    return !matched && (st.st_mode & bit) != 0;
  }
  if (inGroups(a, st.st_gid)) return (st.st_mode >> 3 & bit) != 0;
  return (st.st_mode & bit) != 0;
}

std::string Writer::phrase() const {
  switch (kind) {
    case Everyone:
      return "everyone";
    case Group:
      return "the group " + name;
    case Owner:
      return "its owner " + name;
    case AclUser:
      return "the account " + name + " (through an access list)";
    case AclGroup:
      return "the group " + name + " (through an access list)";
  }
  return name;
}

std::vector<Writer> writersOf(const struct stat &st, const AccessList &acl,
                              const Trusted &trusted) {
  std::vector<Writer> out;
  if ((st.st_mode & 0002) != 0) out.push_back({Writer::Everyone, ""});
  const unsigned groupBits = acl.present ? acl.groupObj & acl.mask : (st.st_mode >> 3 & 7u);
  if ((groupBits & 2u) != 0 && (st.st_mode & 0002) == 0)
    out.push_back({Writer::Group, groupName(st.st_gid)});
  if (!trusted(st.st_uid)) out.push_back({Writer::Owner, userName(st.st_uid)});
  for (const AccessList::Entry &e : acl.named) {
    if ((e.perm & acl.mask & 2u) == 0) continue;
    if (e.user && trusted(static_cast<uid_t>(e.id))) continue;
    if (e.user) {
      out.push_back({Writer::AclUser, userName(static_cast<uid_t>(e.id))});
    } else {
      out.push_back({Writer::AclGroup, groupName(static_cast<gid_t>(e.id))});
    }
  }
  return out;
}

}  // namespace tl
