#include "content/cut-short.h"

namespace tl {
namespace {

// Whether the file is a plain one holding the version of this digest.
bool holds(const FileFound &f, const std::string &digest) {
  return f.there && f.plain && !digest.empty() && f.digest == digest;
}

// The stage of an install that is no further than its own files: what the list, FILE- and the
// journal's names show.
CutShort stageOf(const JournalEntry &in, const CutShortFound &f) {
  CutShort c;
  const std::string &read = in.read, &next = in.install, &before = in.previous;
  const std::string nextName = in.files.empty() ? "" : in.files[0];
  const std::string prevName = in.files.size() > 1 ? in.files[1] : "";
  if ((f.next.there && !f.next.plain) || (f.previous.there && !f.previous.plain)) return c;
  if (f.next.there) {
    if (f.next.digest == read && !read.empty()) {
      // Exchanged: the old list lies at the new version's name.
      c.stage = f.previous.there ? CutShort::Exchanged : CutShort::PreviousKept;
      c.installed = true;
      c.keepPrevious = f.previous.there;
      c.remove.push_back(nextName);
      return c;
    }
    // Not exchanged: the new version (whole or in part) and the copy of the old list go.
    c.stage = CutShort::BeforeInstall;
    c.remove.push_back(nextName);
    if (f.previous.there) c.remove.push_back(prevName);
    return c;
  }
  if (f.previous.there) return c;  // the new version gone before the old: not the tool's way
  // Neither file is there: made and done with, or never made.
  if (f.list == next ||
      (f.list != read && !read.empty() && holds(f.kept, read) && before != read)) {
    // The list is what it installs; or it was changed outside since, and FILE- is the version
    // it replaced, which only its install makes it.
    c.stage = CutShort::Installed;
    c.installed = true;
    c.mayBeLogged = true;
  } else if (f.list == read || (!read.empty() && ((before.empty() && !f.kept.there) ||
                                                  (holds(f.kept, before) && before != read)))) {
    // The list is what it read; or FILE- is not what its install makes it (a change that made
    // the list makes no FILE-, and so FILE- says nothing of it).
    c.stage = CutShort::BeforeInstall;
  }
  return c;
}

}  // namespace

CutShort judgeCutShort(const JournalState &s, const CutShortFound &f, const std::string &kept) {
  CutShort c;
  if (!s.hasInstall) {
    c.stage = CutShort::Editing;
    c.outsideSince = s.hasStart && f.list != s.start.read;
    c.outsideFrom = s.hasStart ? s.start.read : "";
  } else {
    c = stageOf(s.install, f);
    if (c.stage != CutShort::Unknown) {
      const std::string &left = c.installed ? s.install.install : s.install.read;
      c.outsideSince = f.list != left;
      c.outsideFrom = left;
    } else {
      c.outsideSince = true;
    }
  }
  // The operator's copy: it goes only when it is what was installed; otherwise it is their work.
  if (s.hasStart && !s.start.copy.path.empty() && f.copy.there) {
    c.removeCopy = c.installed && holds(f.copy, s.install.install);
    c.copyKept = !c.removeCopy;
  }
  switch (c.stage) {
    case CutShort::Editing:
      c.said = "cut short while the list was being edited: nothing was installed";
      break;
    case CutShort::BeforeInstall:
      c.said = "cut short before it installed anything: nothing was installed";
      break;
    case CutShort::Exchanged:
      c.said = "cut short after it installed the list, before it kept the version it replaced as " +
               kept;
      break;
    case CutShort::PreviousKept:
      c.said = "cut short after it installed the list and kept " + kept +
               ", before it removed the old list";
      break;
    case CutShort::Installed:
      c.said = "cut short after it installed the list and kept " + kept +
               ", before its end was in the journal (its own line may have reached the log "
               "already)";
      break;
    case CutShort::Unknown:
      c.said =
          "cut short, and the files beside the list were changed since, so that whether it "
          "installed cannot be told: nothing of it was removed";
      break;
  }
  return c;
}

}  // namespace tl
