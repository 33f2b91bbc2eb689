// Installing a list's new version: written to a new file in the list's own folder, created
// exclusively and given its attributes through its own descriptor, and renamed over the list
// relative to the folder's descriptor, so that a reload sees the whole old list or the whole
// new one and nothing can redirect the write. The previous version is kept beside the list as
// NAME- (one generation): written the same way before the list is replaced, and given that
// name only once it is.
#ifndef TOLVANE_LIST_LIST_INSTALL_H
#define TOLVANE_LIST_LIST_INSTALL_H

#include <sys/stat.h>

#include <string>

#include "file-attributes.h"
#include "unique-fd.h"

namespace tl {

// A new file .PREFIX.XXXXXX in an open folder, created exclusively; removed with the object
// unless it was renamed or kept.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile &) = delete;
  NewFile &operator=(const NewFile &) = delete;
  bool create(int dir, const std::string &folder, const std::string &prefix, std::string &err);
  // Writes the content, gives the attributes and makes both durable; `attributesLost` tells
  // that the attributes were what failed.
  bool fill(const std::string &content, const Attributes &a, std::string &err,
            bool *attributesLost = nullptr);
  const std::string &name() const { return name_; }
  std::string path() const;
  int fd() const { return fd_.get(); }
  // The file is no longer this object's to remove (renamed, or kept for the operator).
  void forget() { name_.clear(); }

 private:
  int dir_ = -1;
  std::string folder_;
  std::string name_;
  UniqueFd fd_;
};

// The list as it was read at the start of a change: to replace it only if it is still so.
struct ReadList {
  int dir = -1;
  std::string folder;
  std::string name;
  bool exists = false;
  int fd = -1;  // the list, open (when it exists)
  struct stat st {};
  const std::string *bytes = nullptr;
};

enum class Installed {
  Done,              // in place and durable
  NotDurable,        // in place, but the folder not made durable (err says why)
  PreviousLost,      // in place, but the previous version could not be kept as NAME- (err says
                     // why; something of another kind, such as a folder, lies there)
  ChangedMeanwhile,  // the list changed since it was read: nothing replaced
  AttributesLost,    // the new list could not be given the old one's attributes: nothing replaced
  Failed,            // nothing replaced (err says why)
};

// Installs `content` with `attrs` over the list, keeping the version read as NAME- when
// `backup`. Never replaces a list that differs from the one read.
Installed installList(const ReadList &list, const std::string &content, const Attributes &attrs,
                      bool backup, std::string &err);

// Writes all of `content` to the descriptor; false (errno set) when it cannot.
bool writeAll(int fd, const std::string &content);

// Whether the list in the folder is still the one read: the same file, with the same bytes.
bool stillAsRead(const ReadList &list);

}  // namespace tl

#endif
