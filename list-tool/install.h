// Changing a live list safely: one change at a time, on a copy in the list's own folder,
// installed by renaming it over the list so that a reload sees the whole old list or the whole
// new one, never a part.
#ifndef TOLVANE_LIST_INSTALL_H
#define TOLVANE_LIST_INSTALL_H

#include <string>

namespace tl {

// The folder a path lies in: "." for a bare name, "/" for a name in the root.
std::string folderOf(const std::string &path);

// Where a list lives: the path with symbolic links resolved, so that a link keeps pointing at
// the list; a list that does not exist yet stays as given.
std::string livePath(const std::string &path);

// The lock of one list, held from acquire() to the end of the object's life. The kernel drops
// it when the process ends, so a lock left by a dead process blocks nobody.
class ListLock {
 public:
  ListLock() = default;
  ~ListLock();
  ListLock(const ListLock &) = delete;
  ListLock &operator=(const ListLock &) = delete;
  // Takes the lock of the list at `path` (a file .NAME.lock beside it); false with a message
  // when another change holds it.
  bool acquire(const std::string &path, std::string &err);

 private:
  int fd_ = -1;
};

// A copy of the list in its own folder (.NAME.XXXXXX), removed with the object unless it was
// installed; also removed when the process is interrupted or terminated.
class ListCopy {
 public:
  ListCopy() = default;
  ~ListCopy();
  ListCopy(const ListCopy &) = delete;
  ListCopy &operator=(const ListCopy &) = delete;
  // Makes the copy beside `list`, holding `content`.
  bool create(const std::string &list, const std::string &content, std::string &err);
  const std::string &path() const { return path_; }
  // Replaces the copy's content.
  bool write(const std::string &content, std::string &err) const;
  // Installs the copy as the list: the list's owner, group and mode (a new list: 0644), made
  // durable, then renamed over the list and the folder made durable.
  bool install(const std::string &list, std::string &err);

 private:
  std::string path_;
};

// Reads a file's whole content; false with a message when it cannot.
bool readWhole(const std::string &path, std::string &data, std::string &err);

}  // namespace tl

#endif
