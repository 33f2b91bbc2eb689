// Installing a list's new version: written to a new file in the list's own folder, created
// exclusively and given its attributes through its own descriptor, and exchanged with the list
// relative to the folder's descriptor, so that a reload sees the whole old list or the whole
// new one and nothing can redirect the write. The previous version is kept beside the list as
// NAME- (one generation): written the same way before the list is replaced, and given that
// name once it is.
//
// An install is made in three steps, so that the caller can put the names of its files on
// record before the first is made, and hold every signal around the rest: plan() chooses the
// names (.NAME.S for the new version, .NAME-.S for the copy of the list read; S six random
// letters or digits), prepare() makes both files exclusively and writes them whole and on disk,
// replacing nothing; commit() puts the new version in place and names the previous one NAME-.
#ifndef TOLVANE_LIST_FILES_INSTALL_H
#define TOLVANE_LIST_FILES_INSTALL_H

#include <string>
#include <vector>

#include "files/attributes.h"
#include "files/descriptors.h"
#include "files/guard.h"
#include "files/list-file.h"
#include "outcome.h"

namespace tl {

// A new file .PREFIX.SUFFIX in the list's folder, created exclusively; removed with the object
// unless it was renamed or kept.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile &) = delete;
  NewFile &operator=(const NewFile &) = delete;
  // Creates the file; with no `suffix`, six random letters (tried again while the name is
  // taken). With a `suffix` whose name is taken, trouble, and taken() says so.
  Outcome create(const ListPlace &place, const std::string &prefix, const std::string &suffix = "");
  bool taken() const { return taken_; }
  // Writes the content, gives the attributes and makes both durable: refused ("attributes")
  // when the attributes cannot be given, trouble otherwise.
  Outcome fill(const std::string &content, const Attributes &a);
  const std::string &name() const { return name_; }
  std::string path() const;
  int fd() const { return fd_.get(); }
  // The file is no longer this object's to remove (renamed, or kept for the operator).
  void forget() { name_.clear(); }
  // Removes the file now.
  void discard();

 private:
  int dir_ = -1;
  std::string folder_;
  std::string name_;
  UniqueFd fd_;
  bool taken_ = false;
};

// Six letters for a new file's name.
std::string randomSuffix();

class ListInstall {
 public:
  // An install over the list at `place`, as it was read (`read` is null for a list that did
  // not exist).
  ListInstall(const ListPlace &place, const OpenList *read) : place_(place), read_(read) {}
  // Chooses the names of the files the install makes, free now: the new version's, then, when
  // `keepPrevious`, that of the copy of the version read to keep as NAME-.
  Outcome plan(bool keepPrevious, std::vector<std::string> &names);
  // Writes `content` with `attrs` beside the list under the name planned, and the version read,
  // with its own attributes, as the one to keep as NAME-; replaces nothing. Refused
  // ("attributes") when attributes cannot be read or given; trouble when a file cannot be made
  // (a name taken since it was planned included).
  Outcome prepare(const std::string &content, const Attributes &attrs);
  // Puts the new version in place of the list, only if the list is still the one read
  // (refused "changed-meanwhile" otherwise), then names the version replaced NAME- and writes
  // the folder to disk. Trouble after the list is in place leaves installed() true.
  Outcome commit();
  bool installed() const { return installed_; }
  bool previousKept() const { return previousKept_; }

 private:
  Outcome exchange();
  // Names the version replaced NAME-.
  Outcome keepPrevious();
  const ListPlace &place_;
  const OpenList *read_;
  std::string suffix_;
  bool keepPrevious_ = false;
  NewFile next_, previous_;
  bool installed_ = false;
  bool previousKept_ = false;
};

}  // namespace tl

#endif
