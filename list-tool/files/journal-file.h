// The journal of a list's changes, beside the list in its own folder: .NAME.journal, and the one
// before it, .NAME.journal.1, once it was rotated. It is judged as the list is: a plain file of
// one name, owned by an account trusted with the list, and writable by its owner alone (the
// tool makes it so, mode 0600, owned as the list is); anything else may be planted and is
// refused. Every entry is appended whole and written to disk before the change goes on; a last
// line without its newline (torn by a crash in the middle of its write, before the change it
// began could act) is no entry, and is cut off before the next one is written.
#ifndef TOLVANE_LIST_FILES_JOURNAL_FILE_H
#define TOLVANE_LIST_FILES_JOURNAL_FILE_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "files/accounts.h"
#include "files/descriptors.h"
#include "files/guard.h"
#include "outcome.h"

namespace tl {

// The journal grows to about this many bytes before it is rotated.
constexpr size_t kJournalRotateAt = size_t{512} * 1024;

class JournalFile {
 public:
  // Opens the journal of the list at `place`, when there is one, to read it, or also to append
  // to it (`write`, under the list's lock). Refused ("journal-kind", "journal-owner",
  // "journal-writable") when what lies at its name is not a journal the tool could have made;
  // trouble when it cannot be opened.
  Outcome open(const ListPlace &place, const Trusted &trusted, bool write);
  bool exists() const { return fd_.valid(); }
  // The journal's lines, the rotated one's first; `rotated` is how many of them are its.
  Outcome read(std::vector<std::string> &lines, size_t &rotated);
  // Appends one line, made when there is no journal yet, and writes it to disk.
  Outcome append(const std::string &line);
  // Whether it has grown to be rotated.
  bool full() const;
  // Makes the journal anew, its first line `first`; the current one becomes .NAME.journal.1.
  Outcome rotate(const std::string &first);
  // The journal's path, for messages.
  std::string path() const;

 private:
  Outcome judge(int fd, const std::string &name, struct stat &st) const;
  Outcome create();

  const ListPlace *place_ = nullptr;
  Trusted trusted_;
  bool write_ = false;
  UniqueFd fd_;
  struct stat st_ {};
};

// The names beside the list that are the journal's own.
std::string journalName(const std::string &listName);
std::string rotatedJournalName(const std::string &listName);

}  // namespace tl

#endif
