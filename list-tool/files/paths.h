// Paths as text: the folder and the name of a path, and paths joined. Nothing here touches the
// file system.
#ifndef TOLVANE_LIST_FILES_PATHS_H
#define TOLVANE_LIST_FILES_PATHS_H

#include <string>
#include <vector>

namespace tl {

// The folder a path lies in: "." for a bare name, "/" for a name in the root.
std::string folderOf(const std::string &path);

// The last component of a path.
std::string nameOf(const std::string &path);

// `name` inside `folder`, without a doubled '/'.
std::string joined(const std::string &folder, const std::string &name);

// The components of a path, in order; empty ones and "." left out.
std::vector<std::string> components(const std::string &path);

}  // namespace tl

#endif
