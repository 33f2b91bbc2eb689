// The file system a list lies on, where it matters to the plug-in: on a network file system or
// a FUSE mount, open() of a file waits for whatever serves it (another machine, a program), as
// long as that takes, and neither O_NONBLOCK nor a signal ends the wait on every one of them. A
// reload of the list there stalls the chat server when that server stops answering.
#ifndef TOLVANE_LIST_FILES_FILE_SYSTEM_H
#define TOLVANE_LIST_FILES_FILE_SYSTEM_H

#include <string>

namespace tl {

// The name of the file system of this type (statfs's f_type), "an NFS mount", when open() there
// can wait for a server; "" otherwise.
std::string stallingFileSystem(unsigned long type);

// The same for the file system that the open folder `dir` lies on; "" when it cannot tell.
std::string stallingFileSystemOf(int dir);

}  // namespace tl

#endif
