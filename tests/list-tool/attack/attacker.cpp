// The attacker of race.sh: run as the unprivileged account (uid 65534) while root changes the
// list, it makes every move it can, over and over, with system calls only so that its moves
// fall inside root's runs, until it is told to stop (SIGTERM); then it writes to COUNTS how many
// moves of each kind it tried and how many the kernel let it make, and every file of another
// owner it found where it had put its own.
//   tolvane-attacker LAYOUT WORK COUNTS
// LAYOUT says where the list lies:
//   sticky  WORK/A/admins.list: A is the attacker's own sticky folder (mode 1755)
//   below   WORK/B/etc/admins.list: etc is root's (0755), B the attacker's
//   safe    WORK/C/etc/admins.list: root's folders all the way (every move fails)
//   sticky-root  WORK/D/admins.list: D is root's sticky folder that anyone can write (mode 1777),
//           as /tmp is: root's list cannot be moved there, but files can be put beside it
// The moves: the list's name swapped for a slow chain of 30 links that ends at a copy of
// /usr/bin/passwd (or the folder's name, for a chain to a root folder whose admins.list is that
// copy), or for a file of the attacker's (mode 0666, its own record inside), or for a folder of
// its own; the lock pre-created as a hard link to a file of the attacker's, a FIFO, a folder, a
// symbolic link, or a chain of links; and every copy root makes beside the list renamed over by
// the attacker's own program (set-uid). In sticky-root, beside root's list: a previous version
// NAME- of its own (its record inside, a folder, a link to the bait whose target holds a
// terminal's escape, a chain of links, a hard link to a file of its own), the lock as above, and
// stray copies of its own named as a change names its files (a pair that looks like an install
// cut short after the exchange, and a lone copy). Root's own things are set aside and put back,
// never removed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uid_t kAttacker = 65534;

volatile std::sig_atomic_t stopped = 0;

extern "C" void onTerm(int /*sig*/) {
  stopped = 1;
}

struct Tally {
  long tried = 0;
  long made = 0;
};

class Attacker {
 public:
  Attacker(std::string layout, std::string work)
      : layout_(std::move(layout)), work_(std::move(work)) {}

  void run() {
    const std::string top = work_ + (layout_ == "sticky"        ? "/A"
                                     : layout_ == "below"       ? "/B"
                                     : layout_ == "sticky-root" ? "/D"
                                                                : "/C");
    const std::string last =
        layout_ == "below" || layout_ == "safe" ? work_ + "/baitetc" : work_ + "/bait/passwd";
    chain(top, last);
    head_ = top + "/l1";
    own_ = slurp(work_ + "/mine/own.list");
    prog_ = slurp(work_ + "/mine/prog");
    tally_["copy-renamed-over"];      // shown even when root never made a copy to rename over
    const timespec pause{0, 200000};  // a round every 0.2 ms at the most: others share the CPU
    for (long n = 0; stopped == 0; ++n) {
      if (layout_ == "sticky") {
        nameMove(top, n);
        lockMove(top, n);
        copyMoves(top);
      } else if (layout_ == "sticky-root") {
        previousMove(top, n);
        lockMove(top, n);
        strayMove(top, n);
        copyMoves(top);
      } else {
        folderMove(top, n);
        lockMove(top + "/etc", n);
        copyMoves(top + "/etc");
      }
      nanosleep(&pause, nullptr);
    }
  }

  void write(const std::string &path) const {
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return;
    for (const auto &t : tally_)
      std::fprintf(f, "%s %ld %ld\n", t.first.c_str(), t.second.tried, t.second.made);
    std::fclose(f);
    if (seen_.empty()) return;
    FILE *s = std::fopen((path + ".seen").c_str(), "w");
    if (s == nullptr) return;
    for (const std::string &p : seen_) std::fprintf(s, "%s\n", p.c_str());
    std::fclose(s);
  }

 private:
  static std::string slurp(const std::string &path) {
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return s;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }

  // Counts one move of this kind, made when `ok`.
  void move(const char *kind, bool ok) {
    Tally &t = tally_[kind];
    ++t.tried;
    if (ok) ++t.made;
  }

  // A new file of the attacker's at `path` with `content` and `mode`.
  static bool put(const std::string &path, const std::string &content, mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const bool ok =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
        fchmod(fd, mode) == 0;
    close(fd);
    return ok;
  }

  // A chain of links in `folder`: l1 -> l2 -> ... -> l30 -> `last`.
  static void chain(const std::string &folder, const std::string &last) {
    symlink(last.c_str(), (folder + "/l30").c_str());
    for (int i = 29; i >= 1; --i)
      symlink(("l" + std::to_string(i + 1)).c_str(), (folder + "/l" + std::to_string(i)).c_str());
  }

  bool foreign(const struct stat &st) {
    struct stat bait {};
    return st.st_uid != kAttacker && !(stat((work_ + "/bait/precious").c_str(), &bait) == 0 &&
                                       bait.st_ino == st.st_ino && bait.st_dev == st.st_dev);
  }

  // Removes what the attacker put at `path` (a file, a link, a FIFO, or a folder of its own and
  // what lies in it). Anything of another owner stays, is noted, and makes it false; in the safe
  // layout, where root's own lock is expected, it is not noted.
  bool clear(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return true;
    if (foreign(st)) return note(path);
    if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0;
    bool ok = true;
    if (DIR *d = opendir(path.c_str())) {
      std::vector<std::string> names;
      while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(d);
      for (const std::string &name : names) ok = clear(path + "/" + name) && ok;
    }
    return ok && rmdir(path.c_str()) == 0;
  }

  bool note(const std::string &path) {
    if (layout_ != "safe") seen_.push_back(path);
    return false;
  }

  // The lock beside the list in `folder`, pre-created as the next of the attacker's kinds.
  void lockMove(const std::string &folder, long n) {
    const std::string lock = folder + "/.admins.list.lock";
    if (!clear(lock) && layout_ != "safe") return;
    switch (n % 5) {
      case 0:
        move("lock-hard-link", link((work_ + "/mine/precious").c_str(), lock.c_str()) == 0);
        break;
      case 1:
        move("lock-fifo", mkfifo(lock.c_str(), 0644) == 0);
        break;
      case 2:
        move("lock-folder", mkdir(lock.c_str(), 0755) == 0);
        break;
      case 3:
        move("lock-symlink", symlink((work_ + "/bait/precious").c_str(), lock.c_str()) == 0);
        break;
      default:
        move("lock-chain", symlink(head_.c_str(), lock.c_str()) == 0);
        break;
    }
  }

  // The list's name in `folder` made the next of the attacker's kinds, root's list set aside
  // as root.list meanwhile and put back every third move.
  void nameMove(const std::string &folder, long n) {
    const std::string list = folder + "/admins.list", aside = folder + "/root.list";
    if (access(aside.c_str(), F_OK) == 0) {
      if (!clear(list)) return;
    } else {
      move("list-set-aside", rename(list.c_str(), aside.c_str()) == 0);
    }
    switch (n % 3) {
      case 0:
        move("list-link-chain", symlink("l1", list.c_str()) == 0);
        break;
      case 1:
        move("list-own-file", put(list, own_, 0666));
        break;
      default:
        move("list-restored", rename(aside.c_str(), list.c_str()) == 0);
        break;
    }
  }

  // The folder `top`/etc swapped for a chain of links to a root folder holding the bait, or for
  // a folder of the attacker's with its own list and lock; root's folder set aside as etc.root
  // meanwhile and put back every third move.
  void folderMove(const std::string &top, long n) {
    const std::string etc = top + "/etc", aside = top + "/etc.root", own = top + "/own";
    if (access(aside.c_str(), F_OK) == 0) {
      if (!clear(etc)) return;
    } else {
      move("folder-set-aside", rename(etc.c_str(), aside.c_str()) == 0);
    }
    switch (n % 3) {
      case 0:
        move("folder-link-chain", symlink("l1", etc.c_str()) == 0);
        break;
      case 1:
        if (clear(own) && mkdir(own.c_str(), 0755) == 0) {
          put(own + "/admins.list", own_, 0666);
          lockMove(own, n / 3);
        }
        move("folder-own", rename(own.c_str(), etc.c_str()) == 0);
        break;
      default:
        move("folder-restored", rename(aside.c_str(), etc.c_str()) == 0);
        break;
    }
  }

  // The previous version beside the list in `folder` made the next of the attacker's kinds.
  void previousMove(const std::string &folder, long n) {
    const std::string kept = folder + "/admins.list-";
    if (!clear(kept)) return;
    switch (n % 5) {
      case 0:
        move("previous-own-file", put(kept, own_, 0644));
        break;
      case 1:
        move("previous-folder", mkdir(kept.c_str(), 0755) == 0);
        break;
      case 2:
        move("previous-link",
             symlink((work_ + "/bait/passwd/\033]0;owned\007").c_str(), kept.c_str()) == 0);
        break;
      case 3:
        move("previous-link-chain", symlink(head_.c_str(), kept.c_str()) == 0);
        break;
      default:
        move("previous-hard-link", link((work_ + "/mine/own.list").c_str(), kept.c_str()) == 0);
        break;
    }
  }

  // Copies of the attacker's beside the list in `folder`, named as a change's files are: a pair
  // .NAME.S and .NAME-.S of the same bytes (an install cut short after the exchange, whose NAME-
  // the next change would make .NAME-.S), or a lone .NAME.S (an edit's copy).
  void strayMove(const std::string &folder, long n) {
    const std::string next = folder + "/.admins.list.Atk" + std::to_string(100 + n % 4),
                      previous = folder + "/.admins.list-.Atk" + std::to_string(100 + n % 4);
    if (!clear(next) || !clear(previous)) return;
    if (n % 2 == 0) {
      move("stray-pair", put(next, own_, 0644) && put(previous, own_, 0644));
    } else {
      move("stray-copy", put(next, own_, 0644));
    }
  }

  // Every copy root has made beside the list in `folder`, renamed over by the attacker's
  // program.
  void copyMoves(const std::string &folder) {
    DIR *d = opendir(folder.c_str());
    if (d == nullptr) return;
    std::vector<std::string> copies;
    while (const dirent *e = readdir(d)) {
      const std::string name = e->d_name;
      const bool mine = name.find(".Atk") != std::string::npos;  // the attacker's own strays
      if (!mine && ((name.size() == 19 && name.compare(0, 13, ".admins.list.") == 0) ||
                    (name.size() == 20 && name.compare(0, 14, ".admins.list-.") == 0)))
        copies.push_back(folder + "/" + name);
    }
    closedir(d);
    for (const std::string &copy : copies) {
      const std::string next = work_ + "/mine/prog.next";
      unlink(next.c_str());
      move("copy-renamed-over", put(next, prog_, 04755) && rename(next.c_str(), copy.c_str()) == 0);
    }
  }

  std::string layout_, work_, head_, own_, prog_;
  std::map<std::string, Tally> tally_;
  std::vector<std::string> seen_;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4 || getuid() != kAttacker) {
    std::fprintf(stderr, "usage: tolvane-attacker LAYOUT WORK COUNTS, as uid %u\n", kAttacker);
    return 2;
  }
  struct sigaction sa {};
  sa.sa_handler = onTerm;
  sigaction(SIGTERM, &sa, nullptr);
  Attacker attacker(argv[1], argv[2]);
  attacker.run();
  attacker.write(argv[3]);
  return 0;
}
