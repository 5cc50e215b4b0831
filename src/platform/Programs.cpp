#include "platform/Programs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void BecomeProgram(int inputFd, int outputFd, int errorFd, int deathSignal, pid_t parent, char** argv,
                                char** envp) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, deathSignal);
  if (getppid() != parent) _exit(127);  // the caller died before the death signal was set
  if (dup2(inputFd, STDIN_FILENO) < 0 || dup2(outputFd, STDOUT_FILENO) < 0 || dup2(errorFd, STDERR_FILENO) < 0)
    _exit(127);
  execvpe(argv[0], argv, envp);
  _exit(127);
}

}  // namespace

std::optional<StartedProgram> StartProgram(const std::vector<std::string>& args,
                                           const std::vector<std::string>& environment, int inputFd, int deathSignal) {
  std::vector<std::string> argTexts = args;
  std::vector<std::string> envTexts;
  for (char** entry = environ; *entry; ++entry) envTexts.emplace_back(*entry);
  envTexts.insert(envTexts.end(), environment.begin(), environment.end());
  std::vector<char*> argv = PointersTo(argTexts), envp = PointersTo(envTexts);
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd outRead(out[0]), outWrite(out[1]);
  if (pipe2(err, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd errRead(err[0]), errWrite(err[1]);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) BecomeProgram(inputFd, out[1], err[1], deathSignal, parent, argv.data(), envp.data());
  StartedProgram started;
  started.pid = child;
  started.output = std::move(outRead);
  started.errors = std::move(errRead);
  return started;
}

int WaitForProgram(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 127;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
