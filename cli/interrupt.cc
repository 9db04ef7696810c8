#include "cli/interrupt.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace cli {
namespace {

constexpr int kSlots = 4;

// A slot's name is written while its flag is clear, and the flag set after
// it with a fence: the handler reads only names that are whole.
char g_paths[kSlots][PATH_MAX];
volatile std::sig_atomic_t g_held[kSlots];
volatile std::sig_atomic_t g_progress_shown;

extern "C" void EndAtSignal(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_held[i]) unlink(g_paths[i]);
  }
  if (g_progress_shown) {
    static const char kClearLine[] = "\r\033[K";
    ssize_t ignored = write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
    (void)ignored;
  }
  _exit(128 + signal_number);
}

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal_number);
  return set;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = EndAtSignal;
  sigfillset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void EndAsBrokenPipe() {
  signal(SIGPIPE, SIG_DFL);
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigprocmask(SIG_UNBLOCK, &pipe_signal, nullptr);
  raise(SIGPIPE);
  _exit(128 + SIGPIPE);  // not reached
}

InterruptsDeferred::InterruptsDeferred() {
  sigset_t deferred = EndingSignals();
  sigprocmask(SIG_BLOCK, &deferred, &previous_);
}

void HoldInterruptsToTheEnd() {
  sigset_t held = EndingSignals();
  sigprocmask(SIG_BLOCK, &held, nullptr);
}

InterruptsDeferred::~InterruptsDeferred() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

int HoldTemporary(const char* path) {
  std::size_t length = std::strlen(path);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (!g_held[i]) {
      std::memcpy(g_paths[i], path, length + 1);
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_held[i] = 1;
      return i;
    }
  }
  return -1;
}

void ReleaseTemporary(int slot) {
  if (slot >= 0 && slot < kSlots) g_held[slot] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void SetProgressLineShown(bool shown) { g_progress_shown = shown ? 1 : 0; }

}  // namespace cli
