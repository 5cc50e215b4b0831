#include "platform/StopSignals.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Lock-free, so the handler may read them; the name is written before its folder is
// published and read only after the folder was seen.
std::atomic<pid_t> childToStop{0};
std::atomic<int> temporaryFolder{-1};
char temporaryName[NAME_MAX + 1];

static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

void OnStopSignal(int signal) {
  const int folder = temporaryFolder.load(std::memory_order_acquire);
  if (folder >= 0) unlinkat(folder, temporaryName, 0);
  pid_t child;
  while ((child = childToStop.load()) == kChildStarting) {
    const timespec moment{0, 1000000};
    nanosleep(&moment, nullptr);
  }
  if (child > 0) {
    kill(child, SIGTERM);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(signal, &byDefault, nullptr);
  raise(signal);  // held back until the handler returns, then it ends the process
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction handler {};
  handler.sa_handler = OnStopSignal;
  handler.sa_mask = StopSignalSet();
  for (int signal : kStopSignals) {
    struct sigaction current {};
    // A signal ignored when the program started (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(signal, &handler, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, nullptr);
  // Inherited as ignored, it would make the conversion child's exit status unreadable.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &byDefault, nullptr);
}

void SetChildToStop(pid_t child) { childToStop.store(child); }

bool SetTemporaryToRemove(int folder, const char* name) {
  temporaryFolder.store(-1, std::memory_order_release);
  if (!name) return true;
  if (std::strlen(name) >= sizeof temporaryName) return false;
  std::strcpy(temporaryName, name);
  temporaryFolder.store(folder, std::memory_order_release);
  return true;
}

StopSignalsHeld::StopSignalsHeld() {
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, &previous);
}

StopSignalsHeld::~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

StopSignalsCaught::StopSignalsCaught(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &saved[i]);
}

StopSignalsCaught::~StopSignalsCaught() {
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &saved[i], nullptr);
}

bool StopIsPending() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (int signal : kStopSignals)
    if (sigismember(&pending, signal) == 1) return true;
  return false;
}
