// Reading a list: the one place a list file is opened for reading. A list is read as the
// plug-in reads it: opened without waiting (for a FIFO's writer, a terminal's line), read only
// when it is a regular file, and no further than one byte past the plug-in's read limit, so
// that a longer file shows as longer without being read whole.
#ifndef TOLVANE_LIST_FILES_LIST_FILE_H
#define TOLVANE_LIST_FILES_LIST_FILE_H

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "files/descriptors.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

// How many bytes of a list are read at the most: one past what the plug-in reads.
size_t readMost();

// Reads the list at `path`, following links as the plug-in does; "-" reads standard input.
// Trouble ("cannot read PATH: ...") when it cannot be read, or names something the plug-in
// never reads (a FIFO, a device, a folder).
Outcome readListAt(const std::string &path, std::string &data);

// A list as read, kept open, so that a change installs over only that file.
struct OpenList {
  UniqueFd fd;
  struct stat st {};
  std::string bytes;
};

// Opens and reads the entry `name` of the list's folder (the list the walk found, or its
// previous version) without following a link in its place, and only when it is a regular file;
// `shown` names it in the message.
Outcome readListIn(const ListPlace &place, const std::string &name, const std::string &shown,
                   OpenList &out);

// Whether the open list still holds these bytes (read again from its start).
bool stillHolds(int fd, const std::string &bytes);

}  // namespace tl

#endif
