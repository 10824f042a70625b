// Standard streams, signals and the files a signal must not leave behind.
#include "capture/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace capture {
namespace {

bool closed_at_start[3] = {false, false, false};

volatile std::sig_atomic_t interrupt_signal = 0;

// What a fatal signal's handler removes: a fixed table, so that the handler
// reads plain memory. `kind` is written last on Set and first on Clear, with
// signals blocked in between, so the handler never sees a half-written path.
constexpr int kSlots = 32;
constexpr std::size_t kPathBytes = 4096;  // PATH_MAX: longer paths cannot be opened
enum Kind : int { kFree = 0, kFile = 1, kFolder = 2 };
volatile std::sig_atomic_t slot_kind[kSlots] = {};
char slot_path[kSlots][kPathBytes];

void RemoveRegistered() {
  for (int i = kSlots - 1; i >= 0; --i)
    if (slot_kind[i] == kFile) unlink(slot_path[i]);
  // Folders were registered parent first: the deepest goes first.
  for (int i = kSlots - 1; i >= 0; --i)
    if (slot_kind[i] == kFolder) rmdir(slot_path[i]);
}

void OnInterrupt(int signal) {
  if (interrupt_signal == 0) interrupt_signal = signal;
}

// Installed with SA_RESETHAND | SA_NODEFER: raise() ends the process as the
// signal would have, core dump included.
void OnFatal(int signal) {
  const int saved = errno;
  RemoveRegistered();
  raise(signal);
  errno = saved;
}

bool IgnoredAtStart(int signal) {
  struct sigaction old {};
  return sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

// `flags`: never SA_RESTART, so that a blocked write returns EINTR. A fatal
// handler blocks nothing, so that its raise() is delivered at once.
void Install(int signal, void (*handler)(int), int flags) {
  if (IgnoredAtStart(signal)) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signal, &action, nullptr);
}

class BlockSignals {
 public:
  BlockSignals() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &saved_);
  }
  ~BlockSignals() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

}  // namespace

void GuardStandardStreams() {
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed_at_start[fd] = true;
    // The lowest free descriptor: this one, as the lower ones are open.
    open("/dev/null", O_RDWR);
  }
}

bool WasClosed(int fd) { return fd >= 0 && fd < 3 && closed_at_start[fd]; }

void InstallSignalHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) Install(signal, OnInterrupt, 0);
  for (int signal : {SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF})
    Install(signal, OnFatal, SA_RESETHAND | SA_NODEFER);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // A crash or an abort leaves nothing either (the sanitizers keep these
  // signals for their own reports).
  for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
    Install(signal, OnFatal, SA_RESETHAND | SA_NODEFER);
#endif
}

int InterruptSignal() { return interrupt_signal; }

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

void RemoveOnSignal::Set(const std::string& path, bool folder) {
  Clear();
  if (path.size() >= kPathBytes) return;
  BlockSignals block;
  for (int i = 0; i < kSlots; ++i) {
    if (slot_kind[i] != kFree) continue;
    std::memcpy(slot_path[i], path.c_str(), path.size() + 1);
    slot_kind[i] = folder ? kFolder : kFile;
    slot_ = i;
    return;
  }
}

void RemoveOnSignal::Clear() {
  if (slot_ < 0) return;
  slot_kind[slot_] = kFree;
  slot_ = -1;
}

}  // namespace capture
