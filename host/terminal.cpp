#include "terminal.h"

#include <histedit.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commands.h"
#include "help.h"
#include "text.h"

namespace {

// Set by a Ctrl-C and by a new window size while a line is read.
volatile sig_atomic_t gInterrupted = 0;
volatile sig_atomic_t gResized = 0;

// How many lines the session's history keeps.
constexpr int kHistoryLines = 1000;

}  // namespace

extern "C" {
// Notes a Ctrl-C or a new window size; the line reader acts on it.
static void tolvaneNoteSignal(int sig) {
  if (sig == SIGINT) {
    gInterrupted = 1;
  } else {
    gResized = 1;
  }
}
}

namespace host {
namespace {

Terminal &self(EditLine *el) {
  void *data = nullptr;
  el_get(el, EL_CLIENTDATA, &data);
  return *static_cast<Terminal *>(data);
}

// libedit's callbacks, each handed to the terminal it serves.
char *promptOf(EditLine *el) {
  return const_cast<char *>(self(el).prompt());  // libedit only reads it
}
int readCharOf(EditLine *el, wchar_t *out) {
  return self(el).readChar(out);
}
unsigned char completeOf(EditLine *el, int /*key*/) {
  return self(el).complete();
}

// While a line is read, Ctrl-C and a new window size are caught, and held back but while the
// reader waits for a key (ppoll opens them), so that none comes between a look at the flags and
// the wait. Everything is as it was once the line is read: a Ctrl-C while a command runs ends
// the host, as it always did.
class Signals {
 public:
  explicit Signals(sigset_t &waitMask) {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGWINCH);
    sigprocmask(SIG_BLOCK, &held, &before_);
    waitMask = before_;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGWINCH);
    struct sigaction caught {};
    caught.sa_handler = tolvaneNoteSignal;
    sigemptyset(&caught.sa_mask);
    sigaction(SIGINT, &caught, &interrupt_);
    sigaction(SIGWINCH, &caught, &resize_);
    gInterrupted = 0;
  }
  ~Signals() {
    sigaction(SIGINT, &interrupt_, nullptr);
    sigaction(SIGWINCH, &resize_, nullptr);
    sigprocmask(SIG_SETMASK, &before_, nullptr);
  }
  Signals(const Signals &) = delete;
  Signals &operator=(const Signals &) = delete;

 private:
  sigset_t before_{};
  struct sigaction interrupt_ {};
  struct sigaction resize_ {};
};

// The longest start that all `names` share.
std::string sharedStart(const std::vector<std::string> &names) {
  std::string common = names.front();
  for (const std::string &n : names) {
    size_t k = 0;
    while (k < common.size() && k < n.size() && common[k] == n[k]) ++k;
    common.resize(k);
  }
  return common;
}

}  // namespace

bool Terminal::usable() {
  return isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0;
}

Terminal::Terminal() {
  std::setlocale(LC_CTYPE, "");  // the terminal's characters, for libedit alone
  el_ = el_init("tolvane-host", stdin, stderr, stderr);
  history_ = history_init();
  if (el_ == nullptr || history_ == nullptr) return;
  HistEvent ev{};
  history(history_, &ev, H_SETSIZE, kHistoryLines);
  history(history_, &ev, H_SETUNIQUE, 1);
  el_set(el_, EL_CLIENTDATA, this);
  el_set(el_, EL_PROMPT, promptOf);
  el_set(el_, EL_EDITOR, "emacs");
  el_set(el_, EL_HIST, history, history_);
  el_set(el_, EL_GETCFN, readCharOf);
  // Named in wide characters: libedit keeps these, where it would copy narrow ones and never
  // free the copies.
  el_wset(el_, EL_ADDFN, L"tolvane-complete", L"complete a command's name", completeOf);
  // The person's own settings, as in other programs that use libedit; Tab stays completion.
  const char *home = std::getenv("HOME");
  const std::string editrc = home != nullptr ? std::string(home) + "/.editrc" : "";
  if (!editrc.empty() && access(editrc.c_str(), R_OK) == 0) el_source(el_, editrc.c_str());
  el_set(el_, EL_BIND, "^I", "tolvane-complete", nullptr);
  std::fputs("Type help for the commands; Tab completes a command's name; Ctrl-D ends.\n", stderr);
}

Terminal::~Terminal() {
  if (el_ != nullptr) el_end(el_);
  if (history_ != nullptr) history_end(history_);
}

bool Terminal::next(std::string &text, bool block) {
  if (el_ == nullptr || history_ == nullptr) return false;
  block_ = block;
  std::fflush(stdout);  // the transcript so far, before the prompt
  for (;;) {
    int count = 0;
    const char *line = nullptr;
    {
      const Signals signals(waitMask_);
      dropped_ = false;
      // The terminal in libedit's mode before the prompt shows, so that no key typed once it
      // shows meets the terminal's own line editing (libedit would set it after the prompt).
      el_set(el_, EL_PREP_TERM, 1);
      line = el_gets(el_, &count);
    }
    if (dropped_) {  // the rest of the line shown again, so that ^C stands at its end
      const LineInfo *li = el_line(el_);
      const std::string rest(li->cursor, li->lastchar);
      std::fprintf(stderr, "%s^C\n", written(rest).c_str());
      continue;
    }
    if (line == nullptr || count <= 0) return false;
    text.assign(line, strnlen(line, static_cast<size_t>(count)));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.find_first_not_of(" \t") != std::string::npos) {
      HistEvent ev{};
      history(history_, &ev, H_ENTER, text.c_str());
    }
    const std::vector<std::string> w = words(text);
    if (block || w.empty() || w[0] != "help") return true;
    answerHelp(std::vector<std::string>(w.begin() + 1, w.end()));
  }
}

void Terminal::answerHelp(const std::vector<std::string> &words) {
  std::string text;
  const bool known = help(words, text);
  if (!known) text += '\n';
  std::fflush(stdout);
  std::fputs(text.c_str(), stderr);
}

int Terminal::readChar(wchar_t *out) {
  for (;;) {
    if (gInterrupted != 0) {
      gInterrupted = 0;
      dropped_ = true;
      errno = EINTR;
      return -1;  // el_gets returns at once; next() sees `dropped_`
    }
    if (gResized != 0) {
      gResized = 0;
      el_resize(el_);
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (ppoll(&in, 1, nullptr, &waitMask_) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    char byte = 0;
    const ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    wchar_t c = 0;
    const size_t used = std::mbrtowc(&c, &byte, 1, &shift_);
    if (used == static_cast<size_t>(-2)) continue;  // more bytes of the character to come
    if (used == static_cast<size_t>(-1)) {          // not a character here: the byte alone
      shift_ = std::mbstate_t{};
      c = static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    *out = c;
    return 1;
  }
}

unsigned char Terminal::complete() {
  if (block_) {  // a block's line may hold a tab
    el_insertstr(el_, "\t");
    return CC_REFRESH;
  }
  const LineInfo *li = el_line(el_);
  const std::string before(li->buffer, li->cursor);
  const size_t start = before.find_last_of(" \t") + 1;  // 0 in the first word
  const std::string word = before.substr(start);
  const std::vector<std::string> earlier = words(before.substr(0, start));
  const bool first = earlier.empty() && before.find('#') == std::string::npos;
  const bool helped = earlier.size() == 1 && earlier[0] == "help";
  if (!first && !helped) return CC_ERROR;
  std::vector<std::string> found;
  for (const CommandInfo &c : commands()) {
    if (std::strncmp(c.name, word.c_str(), word.size()) == 0) found.emplace_back(c.name);
  }
  if (first && word.size() <= 4 && std::string("help").compare(0, word.size(), word) == 0)
    found.emplace_back("help");
  if (found.empty()) return CC_ERROR;
  std::string common = sharedStart(found);
  if (found.size() == 1) common += ' ';
  if (common.size() > word.size()) {
    el_insertstr(el_, common.c_str() + word.size());
    return CC_REFRESH;
  }
  std::string list = "\n";
  for (const std::string &name : found) list += name + "  ";
  list.resize(list.size() - 2);
  std::fprintf(stderr, "%s\n", list.c_str());
  return CC_REDISPLAY;
}

}  // namespace host
