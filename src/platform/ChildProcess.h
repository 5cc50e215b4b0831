#pragma once
// Runs a piece of work in a forked child process, so that a library that aborts or
// crashes on hostile input ends that piece of work instead of the whole program.
// The child never outlives the program: a stopping signal to the program stops the child
// and waits for it first (platform/StopSignals.h), so nothing the child writes appears after
// the program has ended. Should the program be killed outright, the child gets SIGTERM (its
// own stop handling still runs) as the thread that forked it ends, and a file it has not
// begun to name by then is never named.
#include <functional>
#include <string>

struct ChildResult {
  bool succeeded = false;  // the work returned true and the child exited normally
  std::string reply;       // what the work wrote into its reply, when it succeeded
};

// Forks, runs `work` in the child on a thread of the child's own (so that whatever thread
// pools this thread holds do not matter; the child leaves with _exit, running no exit
// handlers) and waits for it. The child's reply reaches the parent through a pipe; an exception from
// the work fails it. When the process cannot fork, the work runs in this process instead.
ChildResult RunInChildProcess(const std::function<bool(std::string& reply)>& work);

// The RAW decoder's OpenMP runtime ends the whole process when it cannot start its threads,
// so where no thread can start it is told to use the calling one alone.
void KeepOpenMpOnThisThread();
