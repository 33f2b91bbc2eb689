// What a list's new version takes from the old one: owner, group, the read and write bits of
// the mode, and every extended attribute the file system lets the tool copy (access lists,
// security labels, user attributes). A list is data: no set-id, sticky or execute bit and no
// file capability is ever carried over.
#ifndef TOLVANE_LIST_FILES_ATTRIBUTES_H
#define TOLVANE_LIST_FILES_ATTRIBUTES_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "outcome.h"

namespace tl {

struct Attributes {
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0644;
  std::vector<std::pair<std::string, std::string>> extended;  // name, value
};

// The attributes of an open list; refused ("attributes") with the reason when they cannot be
// read.
Outcome attributesOf(int fd, Attributes &out);

// The attributes of a list made anew: the user running the tool, mode 0644.
Attributes newListAttributes();

// Gives an open file these attributes, and no other extended attribute: owner and group, then
// the extended attributes, then the mode. Refused ("attributes") with the reason when one of
// them cannot be given (or one the file has of its own cannot be taken away).
Outcome giveAttributes(int fd, const Attributes &a);

}  // namespace tl

#endif
