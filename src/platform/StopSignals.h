#pragma once
// What the program does when it is told to stop (SIGINT, SIGTERM, SIGHUP, and SIGPIPE when
// whatever reads its console output goes away): it removes the named temporary file of a
// save in progress, stops the conversion child and waits for it, so that no file appears in
// the output folder after the program has ended, and then ends by that same signal.
// The handler is async-signal-safe; it reads only the two records set below.
#include <signal.h>
#include <sys/types.h>

#include <iterator>

// Installs the handler; ignores SIGXFSZ, so that a write past the file-size limit fails
// like any failed write instead of killing the process; gives SIGCHLD its default action.
// Once, from main: a test process keeps its own signal handling.
void InstallStopHandlers();

// The conversion child that the handler stops (SIGTERM) and waits for; 0 for none.
// kChildStarting while a thread forks it, with the stopping signals held on that thread:
// a handler on another thread waits until the child's id is known.
inline constexpr pid_t kChildStarting = -1;
void SetChildToStop(pid_t child);

// The temporary name, within the open folder `folder`, that the handler removes; a null
// `name` clears the record. False when the name is too long to be recorded.
bool SetTemporaryToRemove(int folder, const char* name);

// Holds the stopping signals back on this thread while it lives, so that a short piece of
// work (giving a finished file its name) is never cut in half by the handler.
struct StopSignalsHeld {
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;
  sigset_t previous;
};

// While it lives, SIGINT, SIGTERM and SIGHUP go to `handler`, for a front end that decides
// itself what a stop means; their earlier actions come back when it goes.
struct StopSignalsCaught {
  explicit StopSignalsCaught(void (*handler)(int));
  ~StopSignalsCaught();
  StopSignalsCaught(const StopSignalsCaught&) = delete;
  StopSignalsCaught& operator=(const StopSignalsCaught&) = delete;
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved[std::size(kSignals)]{};
};

// True when a stopping signal is waiting to be handled, so that work which would otherwise
// finish after the stop was asked for can be left undone.
[[nodiscard]] bool StopIsPending();
