#include "files/guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>

#include "files/paths.h"

namespace tl {
namespace {

// The writers, as a phrase: "everyone and its owner nobody".
std::string listed(const std::vector<Writer> &writers) {
  std::string s;
  for (size_t i = 0; i < writers.size(); ++i) {
    if (i > 0) s += i + 1 == writers.size() ? " and " : ", ";
    s += writers[i].phrase();
  }
  return s;
}

constexpr int kMostLinks = 40;  // as the kernel allows

// Whether a path ends as only a folder's can ("dir/", "dir/."): the kernel, and so the
// plug-in, opens no file by such a path.
bool endsAsFolder(const std::string &path) {
  const std::string name = nameOf(path);
  return !path.empty() && (path.back() == '/' || name == ".");
}

// A folder the walk stands in.
struct At {
  UniqueFd fd;
  std::string path;
  bool sticky = false;  // others can write to it, but its sticky bit and trusted owner keep them
                        // from replacing what belongs to a trusted account
  std::vector<Writer> writers;  // who besides the trusted accounts can write to it
  size_t finding = SIZE_MAX;    // where its finding is in the walk's findings, when it has one
};

class Walker {
 public:
  Walker(const Trusted &trusted, ListPlace &out) : trusted_(trusted), out_(out) {}

  // Walks the path; trouble when the walk could not reach the list's folder.
  Outcome run(const std::string &path) {
    folderOnly_ = endsAsFolder(path);
    At at;
    if (!start(path, at)) return failed_;
    const std::vector<std::string> parts = components(path);
    std::deque<std::string> todo(parts.begin(), parts.end());
    if (!follow(at, todo, true)) return failed_;
    judgeList();
    return done();
  }

 private:
  // Stands in / or, for a relative path, in the working folder, reached from / so that every
  // folder above it is judged too.
  bool start(const std::string &path, At &at) {
    if (!path.empty() && path[0] == '/') return root(at);
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr || cwd[0] != '/') {
      failed_ =
          trouble(std::string("cannot tell the working folder's path: ") + std::strerror(errno));
      return false;
    }
    if (!root(at)) return false;
    const std::vector<std::string> parts = components(cwd);
    std::deque<std::string> todo(parts.begin(), parts.end());
    if (!follow(at, todo, false)) return false;
    struct stat here {
    }, walked{};
    if (stat(".", &here) != 0 || fstat(at.fd.get(), &walked) != 0 || here.st_dev != walked.st_dev ||
        here.st_ino != walked.st_ino) {
      failed_ = trouble(std::string("the working folder ") + cwd + " moved while it was judged");
      return false;
    }
    return true;
  }

  bool root(At &at) {
    at.fd.reset(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    at.path = "/";
    if (!at.fd.valid()) {
      failed_ = trouble(std::string("cannot open /: ") + std::strerror(errno));
      return false;
    }
    judgeFolder(at);
    return true;
  }

  // Opens the folder `name` inside the one the walk stands in, never through a link.
  bool enter(At &at, const std::string &name) {
    const std::string path = name == ".." ? folderOf(at.path) : joined(at.path, name);
    const int fd =
        openat(at.fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      failed_ = trouble("cannot open the folder " + path + ": " + std::strerror(errno));
      return false;
    }
    at.fd.reset(fd);
    at.path = path;
    judgeFolder(at);
    return true;
  }

  // Walks the components in `todo`. When `toList`, the last one names the list (followed when it
  // is a link); otherwise every one is a folder to stand in.
  bool follow(At &at, std::deque<std::string> &todo, bool toList) {
    bool viaLink = false;  // the last component came from a link's target
    std::string lastLink;
    while (!todo.empty()) {
      const std::string c = todo.front();
      todo.pop_front();
      if (c == "..") {
        if (!enter(at, "..")) return false;
        continue;
      }
      const bool last = todo.empty();
      struct stat st {};
      if (fstatat(at.fd.get(), c.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT && last && toList && !folderOnly_) {
          place(at, c, nullptr);
          if (viaLink) out_.danglingTarget = lastLink;
          return true;
        }
        failed_ = trouble(joined(at.path, c) + ": " + std::strerror(errno));
        return false;
      }
      if (S_ISLNK(st.st_mode)) {
        std::string target;
        ++links_;
        if (!readLink(at, c, target)) return false;  // a loop is named there too
        out_.links.push_back(joined(at.path, c) + " -> " + target);
        judgeLink(at, c, target, st);
        const std::vector<std::string> parts = components(target);
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) todo.push_front(*it);
        if (target[0] == '/' && !root(at)) return false;
        if (last) {
          viaLink = true;
          lastLink = target;
          ++finalLinks_;
          folderOnly_ = folderOnly_ || endsAsFolder(target);
        }
        continue;
      }
      if (last && toList && folderOnly_ && !S_ISDIR(st.st_mode)) {
        failed_ = trouble(out_.given + ": " + std::strerror(ENOTDIR) + " (" + joined(at.path, c) +
                          " is no folder, and a path that ends in '/' names only a folder)");
        return false;
      }
      if (last && toList) {
        place(at, c, &st);
        return true;
      }
      if (!S_ISDIR(st.st_mode)) {
        failed_ = trouble(joined(at.path, c) + " is not a folder");
        return false;
      }
      if (!enter(at, c)) return false;
    }
    if (toList) {
      failed_ = trouble(out_.given + " names a folder, not a list");
      return false;
    }
    return true;
  }

  bool readLink(const At &at, const std::string &name, std::string &target) {
    if (links_ > kMostLinks) {
      failed_ = trouble(out_.given + ": too many symbolic links on the way (a loop?)");
      return false;
    }
    char buf[PATH_MAX];
    const ssize_t n = readlinkat(at.fd.get(), name.c_str(), buf, sizeof buf - 1);
    if (n <= 0) {
      failed_ =
          trouble("cannot read the link " + joined(at.path, name) + ": " + std::strerror(errno));
      return false;
    }
    target.assign(buf, static_cast<size_t>(n));
    return true;
  }

  void place(At &at, const std::string &name, const struct stat *st) {
    judgeListFolder(at);
    out_.folder = at.path;
    out_.name = name;
    out_.exists = st != nullptr;
    if (st != nullptr) out_.st = *st;
    out_.dir = std::move(at.fd);
  }

  // Adds a finding, unless the walk made it already; returns where it is among the findings.
  size_t add(const std::string &code, const std::string &message, bool error) {
    for (size_t i = 0; i < out_.findings.size(); ++i) {
      if (out_.findings[i].message == message) return i;
    }
    out_.findings.push_back({code, message, error, false, 0});
    return out_.findings.size() - 1;
  }

  // What a folder others can write to is, as a finding, and the way out: for the list's own
  // folder, only that nobody else can write to it.
  static std::string writableFolder(const std::string &path, const std::vector<Writer> &writers,
                                    bool stickyBit, bool trustedOwner, bool holdsList) {
    std::string wayOut;
    if (!trustedOwner) {
      wayOut = "chown root " + path;
      if (writers.size() > 1) wayOut += " and chmod go-w " + path;
    } else if (holdsList) {
      wayOut = "chmod go-w " + path;
    } else {
      wayOut = "chmod go-w " + path + ", or chmod +t " + path + " with what lies below it yours";
    }
    return "the folder " + path + " on the list's path can be written by " + listed(writers) +
           (stickyBit ? " (its sticky bit does not hold back its owner)" : "") +
           ", who can replace the list and so make anyone a host administrator (" + wayOut + ")";
  }

  // A folder on the path: others may not write to it, unless its sticky bit and a trusted
  // owner keep them from replacing what belongs to a trusted account.
  void judgeFolder(At &at) {
    struct stat st {};
    if (fstat(at.fd.get(), &st) != 0) return;
    const AccessList acl = accessListOf(at.fd.get());
    out_.folders.push_back({at.path, st, acl});
    at.writers = writersOf(st, acl, trusted_);
    at.sticky = false;
    at.finding = SIZE_MAX;
    if (at.writers.empty()) return;
    const bool stickyBit = (st.st_mode & S_ISVTX) != 0;
    if (stickyBit && trusted(st.st_uid)) {
      at.sticky = true;
      return;
    }
    at.finding =
        add("folder-writable",
            writableFolder(at.path, at.writers, stickyBit, trusted(st.st_uid), false), true);
  }

  // The list's own folder: only trusted accounts may write to it, sticky or not, as sshd judges
  // a home. A sticky bit keeps others from replacing the list, but not from putting their own
  // files beside it: a previous version that undo would install, a lock that stops every change,
  // a copy that passes for an edit.
  void judgeListFolder(const At &at) {
    if (at.writers.empty()) return;
    if (!at.sticky) {
      // Already an error; its way out is the one for the list's own folder.
      struct stat st {};
      if (at.finding == SIZE_MAX || fstat(at.fd.get(), &st) != 0) return;
      out_.findings[at.finding].message = writableFolder(
          at.path, at.writers, (st.st_mode & S_ISVTX) != 0, trusted(st.st_uid), true);
      return;
    }
    add("folder-writable",
        "the folder " + at.path + ", which holds the list, can be written by " +
            listed(at.writers) +
            ": its sticky bit keeps them from replacing the list, but not from putting their own "
            "files beside it, such as a previous version for undo, a lock that stops every "
            "change or a copy that passes for an edit (chmod go-w " +
            at.path + ", or keep the list in a folder that only " + trusted_.who() + " can write)",
        true);
  }

  // A link: judged by the folder it lies in (the folder's own judgement) and, below a sticky
  // folder, by its owner, who could point it elsewhere.
  void judgeLink(const At &at, const std::string &name, const std::string &target,
                 const struct stat &st) {
    if (!at.sticky || trusted(st.st_uid)) return;
    const std::string path = joined(at.path, name);
    add("link-owner",
        "the symbolic link " + path + " -> " + target + " lies in the sticky folder " + at.path +
            " and belongs to " + userName(st.st_uid) +
            ", who can point it elsewhere and so make anyone a host administrator (name the "
            "list by a path without it, or make the link yours: ln -sfn " +
            target + " " + path + " as root)",
        true);
  }

  // The list file itself: its owner, its mode and its access list.
  void judgeList() {
    if (!out_.exists || !S_ISREG(out_.st.st_mode)) return;
    const std::string path = out_.given;
    const int fd = openat(out_.dir.get(), out_.name.c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    AccessList acl;
    if (fd >= 0) {
      acl = accessListOf(fd);
      close(fd);
    }
    out_.folders.push_back({out_.live(), out_.st, acl});
    if (!out_.links.empty()) {
      const bool onlyFinal = out_.links.size() == 1 && finalLinks_ == 1;
      const std::string target = out_.links.back().substr(out_.links.back().find(" -> ") + 4);
      if (onlyFinal) {
        add("symlink",
            "the list is a symbolic link to " + target + " (" + out_.live() +
                "): that file is the live list",
            false);
      } else {
        std::string chain;
        for (const std::string &l : out_.links) chain += (chain.empty() ? "" : ", ") + l;
        add("symlink",
            "the list's path passes through symbolic links (" + chain + "): " + out_.live() +
                " is the live list",
            false);
      }
    }
    const struct stat &st = out_.st;
    for (const Writer &w : writersOf(st, acl, trusted_)) {
      switch (w.kind) {
        case Writer::Owner:
          add("list-owner",
              "the list is owned by " + w.name + ", not by " + trusted_.who() +
                  ": its owner can make anyone a host administrator (chown root " + path + ")",
              true);
          break;
        case Writer::AclUser:
          add("acl-writable",
              "the account " + w.name +
                  " can write the list through an access list, and so make anyone a host "
                  "administrator (setfacl -x u:" +
                  w.name + " " + path + ")",
              true);
          break;
        case Writer::Everyone:
        case Writer::Group:
        case Writer::AclGroup: {
          const std::string wayOut = w.kind == Writer::AclGroup
                                         ? "setfacl -x g:" + w.name + " " + path
                                         : "chmod go-w " + path;
          const size_t at =
              add("list-writable",
                  w.phrase() + " can write it, and so make anyone a host administrator (" + wayOut +
                      ")",
                  w.kind == Writer::Everyone);
          out_.findings[at].namesMode = true;
          out_.findings[at].mode = st.st_mode & 07777;
          break;
        }
      }
    }
  }

  bool trusted(uid_t uid) const { return trusted_(uid); }

  const Trusted &trusted_;
  ListPlace &out_;
  Outcome failed_;  // why the walk stopped
  int links_ = 0;
  int finalLinks_ = 0;       // links met as the path's last component
  bool folderOnly_ = false;  // the path, or the last link's target, ends in '/' or "/."
};

}  // namespace

std::string ListPlace::live() const {
  return joined(folder, name);
}

bool ListPlace::guardErrors() const {
  for (const GuardFinding &f : findings) {
    if (f.error) return true;
  }
  return false;
}

std::string ListPlace::beside(const std::string &entry) const {
  return joined(folder, entry);
}

Outcome walkList(const std::string &path, const Trusted &trusted, ListPlace &place) {
  place = ListPlace{};
  place.given = path;
  return Walker(trusted, place).run(path);
}

Outcome readableBy(const ListPlace &place, const Account &account, Unreadable &why) {
  why = Unreadable{};
  for (size_t i = 0; i < place.folders.size(); ++i) {
    const Visited &v = place.folders[i];
    const bool isList = i + 1 == place.folders.size() && place.exists && S_ISREG(place.st.st_mode);
    if (!permits(account, v.st, v.acl, isList ? 4 : 1)) {
      why = {&v, isList};
      return refused("unreadable", "");
    }
  }
  if (!place.exists) return refused("unreadable", "");
  return done();
}

}  // namespace tl
