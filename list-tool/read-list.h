// Reading a list: the one place a list file is opened for reading. A list is read as the
// plug-in reads it: opened without waiting (for a FIFO's writer, a terminal's line), read only
// when it is a regular file, and no further than one byte past the plug-in's read limit, so
// that a longer file shows as longer without being read whole.
#ifndef TOLVANE_LIST_READ_LIST_H
#define TOLVANE_LIST_READ_LIST_H

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "unique-fd.h"

namespace tl {

// How many bytes of a list are read at the most: one past what the plug-in reads.
size_t readMost();

// Reads the list at `path`, following links as the plug-in does; "-" reads standard input.
// False with a message ("cannot read PATH: ...") when it cannot be read, or names something
// the plug-in never reads (a FIFO, a device, a folder).
bool readListAt(const std::string &path, std::string &data, std::string &err);

// Opens the list `name` in the open folder `dir` without following a link in its place, and
// only when it is a regular file; `shown` names it in the message.
bool openListIn(int dir, const std::string &name, const std::string &shown, UniqueFd &fd,
                struct stat &st, std::string &err);

// Reads an open list from its start (it may be read again later through the same descriptor).
bool readOpenList(int fd, const std::string &shown, std::string &data, std::string &err);

// Reads at most `most` bytes from the descriptor's current place; false on a read error
// (errno tells).
bool readUpTo(int fd, size_t most, std::string &data);

// What a file of this mode is, for a message: "a FIFO", "a directory", ...
const char *kindOf(mode_t mode);

}  // namespace tl

#endif
