#include "signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace tl {
namespace {

constexpr int kEnding[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// The note for the handler: a fixed buffer, written with write(2) alone.
char note[4096];
size_t noteLength = 0;
volatile sig_atomic_t held = 0;

void endNow(int sig) {
  if (noteLength > 0) (void)!write(STDERR_FILENO, note, noteLength);
  signal(sig, SIG_DFL);
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

sigset_t ending() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kEnding) sigaddset(&set, s);
  return set;
}

}  // namespace

void endOnSignal(const std::string &text) {
  const std::string line = text.empty() ? "" : text + "\n";
  noteLength = line.size() < sizeof note ? line.size() : 0;
  std::memcpy(note, line.data(), noteLength);
  for (int s : kEnding) handle(s, endNow);
}

void holdSignalsForEditor() {
  held = 0;
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
  handle(SIGTERM, noteHeld);
  handle(SIGHUP, noteHeld);
}

int releaseSignalsAfterEditor() {
  const int sig = held;
  held = 0;
  for (int s : kEnding) handle(s, endNow);
  return sig;
}

void blockEndingSignals() {
  const sigset_t set = ending();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void unblockEndingSignals() {
  const sigset_t set = ending();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void defaultSignalsForChild() {
  for (int s : kEnding) signal(s, SIG_DFL);
  const sigset_t set = ending();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace tl
