// A file's access control list (POSIX ACL), read from its "system.posix_acl_access" extended
// attribute: who besides the mode's owner, group and others may read, write or search it.
#ifndef TOLVANE_LIST_FILES_ACCESS_LIST_H
#define TOLVANE_LIST_FILES_ACCESS_LIST_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "files/accounts.h"

namespace tl {

struct AccessList {
  struct Entry {
    bool user;  // a named user (else a named group)
    unsigned id;
    unsigned perm;  // 4 read, 2 write, 1 search, before the mask
  };
  bool present = false;  // false: the mode bits alone decide
  unsigned groupObj = 0;
  unsigned mask = 7;
  std::vector<Entry> named;
};

// The access list of an open file; `present` stays false when it has none (or the file system
// keeps none).
AccessList accessListOf(int fd);

// The access list in the attribute's bytes; false when they are not one.
bool parseAccessList(const std::string &bytes, AccessList &out);

// Whether the account has the permission `bit` (4 read, 2 write, 1 search) on a file of this
// status and access list, as the kernel decides it. Root may read and search anything.
bool permits(const Account &a, const struct stat &st, const AccessList &acl, unsigned bit);

// Someone besides the trusted accounts who may write a file.
struct Writer {
  enum Kind { Everyone, Group, Owner, AclUser, AclGroup } kind;
  std::string name;  // the account or group; "" for everyone
  // "everyone", "the group staff", "its owner nobody", "the account nobody (through an access
  // list)", "the group staff (through an access list)"
  std::string phrase() const;
};

// Who besides the trusted accounts may write a file of this status and access list.
std::vector<Writer> writersOf(const struct stat &st, const AccessList &acl, const Trusted &trusted);

}  // namespace tl

#endif
