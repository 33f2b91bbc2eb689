#include "files/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace tl {
namespace {

// The signals whose default action ends the process and that another process may send; the
// faults a program raises on itself (SIGSEGV, SIGBUS, ...) are left as they are.
constexpr int kEnding[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE,
                           SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL, SIGPWR};

// Whether the signal ends the tool when nothing handles it: the ones above and the real-time
// ones.
bool ending(int sig) {
  for (int s : kEnding) {
    if (s == sig) return true;
  }
  return sig >= SIGRTMIN && sig <= SIGRTMAX;
}

// The note for the handler: a fixed buffer, written with write(2) alone.
char note[4096];
size_t noteLength = 0;
volatile sig_atomic_t held = 0;
sigset_t before;  // the mask holdAllSignals() replaced

void endNow(int sig) {
  if (noteLength > 0) (void)!write(STDERR_FILENO, note, noteLength);
  signal(sig, SIG_DFL);
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  sigprocmask(SIG_UNBLOCK, &just, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void noteHeld(int sig) {
  held = sig;
}

void handle(int sig, void (*fn)(int)) {
  struct sigaction sa {};
  sa.sa_handler = fn;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: a wait or a read returns, and the tool looks again
  sigaction(sig, &sa, nullptr);
}

// Gives every ending signal this handler.
void handleEnding(void (*fn)(int)) {
  for (int s = 1; s < NSIG; ++s) {
    if (ending(s)) handle(s, fn);
  }
}

}  // namespace

void endOnSignal(const std::string &text) {
  const std::string line = text.empty() ? "" : text + "\n";
  noteLength = line.size() < sizeof note ? line.size() : 0;
  std::memcpy(note, line.data(), noteLength);
  handleEnding(endNow);
}

void holdSignalsForEditor() {
  held = 0;
  handleEnding(noteHeld);
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
}

int releaseSignalsAfterEditor() {
  const int sig = held;
  held = 0;
  handleEnding(endNow);
  return sig;
}

void noteEndingSignals() {
  held = 0;
  handleEnding(noteHeld);
}

int endingSignalNoted() {
  return held;
}

void stopNotingSignals() {
  for (int s = 1; s < NSIG; ++s) {
    if (ending(s)) signal(s, SIG_DFL);
  }
}

void holdAllSignals() {
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
}

void releaseAllSignals() {
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void defaultSignalsForChild() {
  for (int s = 1; s < NSIG; ++s) {
    if (ending(s)) signal(s, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace tl
