#include "platform/ChildProcess.h"

#include <dlfcn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/StopSignals.h"
#include "platform/UniqueFd.h"

namespace {

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<size_t>(wrote);
  }
}

// False when the text cannot be held (no memory left).
bool ReadAll(int fd, std::string& text) {
  char buffer[4096];
  try {
    for (;;) {
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return true;
      text.append(buffer, static_cast<size_t>(got));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
}

ChildResult RunHere(const std::function<bool(std::string& reply)>& work) {
  ChildResult result;
  result.succeeded = work(result.reply);
  return result;
}

bool RunCatching(const std::function<bool(std::string& reply)>& work, std::string& reply) {
  try {
    return work(reply);
  } catch (...) {
    return false;
  }
}

// OpenMP keeps the threads of a parallel region for the next one, per thread that started
// it, and those threads do not survive fork: a child that decoded on the thread that forked
// it would wait forever for the threads of a decode the parent ran before. The work runs on
// a thread of the child's own, whose OpenMP starts afresh.
bool RunOnFreshThread(const std::function<bool(std::string& reply)>& work, std::string& reply) {
  bool succeeded = false;
  try {
    std::thread thread([&] { succeeded = RunCatching(work, reply); });
    // Stopping signals reach the work's thread alone, which holds them back while it gives
    // a finished file its name.
    const StopSignalsHeld held;
    thread.join();
  } catch (const std::system_error&) {
    // A region of one thread leaves the inherited threads alone.
    KeepOpenMpOnThisThread();
    succeeded = RunCatching(work, reply);
  }
  return succeeded;
}

[[noreturn]] void RunAsChild(const std::function<bool(std::string& reply)>& work, pid_t parent, UniqueFd channel) {
  // The parent may have died before the death signal was armed.
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(1);
  std::string reply;
  const bool succeeded = RunOnFreshThread(work, reply);
  if (succeeded) WriteAll(channel.get(), reply);
  channel.reset();  // _exit runs no destructor
  std::fflush(stdout);
  _exit(succeeded ? 0 : 1);
}

// Forks with the child's id published for the stop handler before any stopping signal
// can reach this thread; the child starts with nothing to stop of its own.
pid_t StartChild() {
  StopSignalsHeld held;
  SetChildToStop(kChildStarting);
  const pid_t child = fork();
  SetChildToStop(child > 0 ? child : 0);
  return child;
}

struct Channel {
  UniqueFd read;
  UniqueFd write;
};

// A pipe and a child that holds both its ends; -1, with no pipe left open, when either
// cannot be made.
pid_t StartChildWithChannel(Channel& channel) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  channel.read = UniqueFd(ends[0]);
  channel.write = UniqueFd(ends[1]);
  const pid_t child = StartChild();
  if (child < 0) channel = Channel{};
  return child;
}

// Waits without reaping first, so that the stop handler never signals a process id that
// has already been handed back to the system.
int WaitForChild(pid_t child) {
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  SetChildToStop(0);
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  return reaped == child ? status : -1;  // an unknown end is a failure
}

}  // namespace

void KeepOpenMpOnThisThread() {
  using SetThreadCount = void (*)(int);
  auto set = reinterpret_cast<SetThreadCount>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
  if (set) set(1);
}

ChildResult RunInChildProcess(const std::function<bool(std::string& reply)>& work) {
  Channel channel;
  std::fflush(stdout);  // nothing buffered is printed twice
  const pid_t parent = getpid();
  const pid_t child = StartChildWithChannel(channel);
  if (child < 0) return RunHere(work);
  if (child == 0) {
    channel.read.reset();
    RunAsChild(work, parent, std::move(channel.write));
  }
  channel.write.reset();
  ChildResult result;
  const bool replyRead = ReadAll(channel.read.get(), result.reply);
  channel.read.reset();
  const int status = WaitForChild(child);
  result.succeeded = replyRead && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!result.succeeded) result.reply.clear();
  return result;
}
