#include "edit-harness.h"
#include "build-paths.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <thread>

namespace harness {

const std::string kGood = "{FA} {} \"10.1.*.*\"   # Ada\n";
const std::string kBad = "{fa} {} \"10.9.*.*\"   # lower case: gives no record\n";
const std::string kMended = "{GA} {} \"10.9.*.*\"   # mended\n";

const std::string kStrace = "env ASAN_OPTIONS=detect_leaks=0 strace -f -qq ";

void spill(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary) << content;
}

struct stat statOf(const std::string &path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st;
}

Folder::Folder() {
  char name[] = "/tmp/tolvane-edit-XXXXXX";
  dir = mkdtemp(name) != nullptr ? name : "";
  list = dir + "/admins.list";
  spill(list, kGood);
}

Folder::~Folder() {
  // An immutable list, left by a test that failed half-way, could not be removed.
  std::system(("chattr -i '" + list + "' 2>/dev/null; rm -rf '" + dir + "'").c_str());  // NOLINT
}

void Folder::changedFrom(const std::string &before) const {
  const std::string now = slurp(list);
  spill(dir + "/now.sh", now);
  spill(list, before);
  shell("EDITOR='cp " + dir + "/now.sh' " + launched(TOLVANE_LIST) + " edit --allow-empty '" +
        list + "' >/dev/null 2>&1");
  std::remove((dir + "/now.sh").c_str());
}

std::string Folder::editor(const std::string &name, const std::string &body) const {
  std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
  return path;
}

std::vector<std::string> Folder::strays() const {
  std::vector<std::string> out;
  FILE *p = popen(("ls -A '" + dir + "'").c_str(), "r");  // NOLINT(cert-env33-c)
  char buf[256];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) {
    std::string n = buf;
    n.pop_back();
    const bool script = n.size() > 3 && n.compare(n.size() - 3, 3, ".sh") == 0;
    if (n != "admins.list" && n != "admins.list-" && n != ".admins.list.lock" &&
        n != ".admins.list.journal" && !script && n != "old" && n != "go" && n != "other")
      out.push_back(n);
  }
  if (p != nullptr) pclose(p);
  return out;
}

std::string placed(std::string text, const Folder &f) {
  for (const auto &[mark, by] : {std::pair{"<D>", f.dir}, std::pair{"<L>", f.list}}) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
      text.replace(at, 3, by);
  }
  return text;
}

std::string lockHolder(const Folder &f, pid_t pid) {
  const std::string lock = slurp(f.dir + "/.admins.list.lock");
  const size_t at = lock.find("since ");
  const time_t since = at == std::string::npos
                           ? 0
                           : static_cast<time_t>(std::strtoll(lock.c_str() + at + 6, nullptr, 10));
  struct tm local {};
  char when[32] = "";
  if (localtime_r(&since, &local) != nullptr)
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  const struct passwd *me = getpwuid(geteuid());
  return "process " + std::to_string(pid) + " of " + (me != nullptr ? me->pw_name : "?") +
         ", since " + when;
}

Outcome shell(const std::string &command) {
  Outcome r;
  FILE *p = popen(("exec </dev/null 2>&1; " + command).c_str(), "r");  // NOLINT(cert-env33-c)
  char buf[4096];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) r.out += buf;
  const int st = p != nullptr ? pclose(p) : -1;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

Outcome edit(const Folder &f, const std::string &editor, const std::string &options) {
  return shell("EDITOR='" + editor + "' " + launched(TOLVANE_LIST) + " edit " + options + " '" +
               f.list + "'");
}

pid_t startWaitingEdit(const Folder &f, const std::string &then) {
  const std::string editor =
      f.editor("wait.sh", "while [ ! -e '" + f.dir + "/go' ] && [ -d '" + f.dir +
                              "' ]; do sleep 0.02; done" + (then.empty() ? "" : "; " + then));
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("EDITOR", editor.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execLaunched(TOLVANE_LIST, {"edit", f.list});
    _exit(127);
  }
  for (int i = 0; i < 500 && f.strays().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return pid;
}

Terminal::Terminal(const std::string &dir,
                   const std::vector<std::pair<std::string, std::string>> &env,
                   const std::vector<std::string> &args) {
  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 80;
  pid_ = forkpty(&master_, nullptr, nullptr, &size);
  if (pid_ < 0) {
    reaped_ = true;  // nothing runs, and nothing is ever signalled or waited for
    out_ = "[no pseudo-terminal]\n";
    return;
  }
  if (pid_ == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    for (const auto &e : env) setenv(e.first.c_str(), e.second.c_str(), 1);
    execLaunched(TOLVANE_LIST, args);
    _exit(127);
  }
}

Terminal::~Terminal() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    reap(true);
  }
  if (master_ >= 0) close(master_);
}

int Terminal::pump(int ms) {
  if (master_ < 0) return -1;
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return 0;
  char buf[4096];
  const ssize_t n = read(master_, buf, sizeof buf);
  if (n <= 0) return -1;  // the tool and all it started have let go of the terminal
  out_.append(buf, static_cast<size_t>(n));
  return 1;
}

bool Terminal::expect(const std::string &text, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    const size_t at = out_.find(text, mark_);
    if (at != std::string::npos) {
      mark_ = at + text.size();
      return true;
    }
    if (std::chrono::steady_clock::now() >= until || pump(50) < 0) return false;
  }
}

void Terminal::type(const std::string &keys) {
  if (master_ >= 0 && write(master_, keys.data(), keys.size()) < 0) return;
}

void Terminal::signal(int sig) {
  if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

void Terminal::hangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

bool Terminal::reap(bool wait) {
  if (reaped_) return true;
  int st = 0;
  const pid_t r = waitpid(pid_, &st, wait ? 0 : WNOHANG);
  if (r != pid_) return false;
  reaped_ = true;
  status_ = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
  return true;
}

bool Terminal::runsAfter(double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (pump(20) < 0 || reap(false)) break;
  }
  return !reap(false);
}

Outcome Terminal::finish(double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < until) {
    const int got = pump(50);
    if (reap(false)) break;
    if (got < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // hung up
  }
  while (pump(100) > 0) {  // what the tool wrote last
  }
  if (!reap(false)) {
    kill(pid_, SIGKILL);
    reap(true);
    out_ += "\n[the tool did not end in time]\n";
  }
  return {status_, out_};
}

Outcome editAtTerminal(const Folder &f, const std::string &editor, const std::string &answers) {
  Outcome r;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    setenv("EDITOR", editor.c_str(), 1);
    execLaunched(TOLVANE_LIST, {"edit", f.list});
    _exit(127);
  }
  size_t next = 0;
  char buf[1024];
  for (;;) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // the child has ended: the terminal reads EIO
    r.out.append(buf, static_cast<size_t>(n));
    const std::string prompt = "install anyway: ";
    size_t prompts = 0;
    for (size_t at = r.out.find(prompt); at != std::string::npos; at = r.out.find(prompt, at + 1))
      ++prompts;
    if (prompts > next && next < answers.size()) {
      const char line[2] = {answers[next++], '\n'};
      if (write(master, line, 2) != 2) break;
    }
  }
  int st = 0;
  waitpid(pid, &st, 0);
  close(master);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace harness
