#include "support/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>

namespace {

constexpr unsigned kUnprivilegedId = 65534;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

void ReadAvailable(int& fd, std::string& into) {
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    into.append(buffer, static_cast<size_t>(got));
  } else if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
    close(fd);
    fd = -1;
  }
}

bool SetLimit(int resource, int64_t value) {
  const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  return value <= 0 || setrlimit(resource, &limit) == 0;
}

// In the child, before the program starts. The process limit comes after the change of
// user, which would otherwise already count against it and make the start fail.
bool ApplySetup(const ProcessSetup& setup) {
  if (!SetLimit(RLIMIT_AS, setup.addressSpaceBytes) || !SetLimit(RLIMIT_FSIZE, setup.fileSizeBytes)) return false;
  if (setup.unprivileged && geteuid() == 0 &&
      (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 || setuid(kUnprivilegedId) != 0))
    return false;
  // LeakSanitizer starts a thread of its own to look for leaks at the end.
  if (setup.processLimit > 0 && IsSanitizerBuild()) {
    const char* options = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":detect_leaks=0").c_str(), 1);
  }
  return SetLimit(RLIMIT_NPROC, setup.processLimit);
}

std::vector<char*> ArgumentVector(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

bool HandToUnprivilegedUser(const std::string& path) {
  return geteuid() != 0 || chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                      const std::string& workingFolder, int timeoutSeconds, const ProcessSetup& setup) {
  ProgramRun run;
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) return run;
  pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) _exit(127);
    if (!ApplySetup(setup)) _exit(127);
    execv(program.c_str(), ArgumentVector(program, args).data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
  }
  close(in[1]);
  int fds[2] = {out[0], err[0]};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polls[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(polls, 2, 200) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i)
      if (fds[i] >= 0 && (polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
        ReadAvailable(fds[i], i == 0 ? run.stdoutText : run.stderrText);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      run.timedOut = true;
      break;
    }
  }
  for (int fd : fds)
    if (fd >= 0) close(fd);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.peakKilobytes = usage.ru_maxrss;
  run.lines = SplitLines(run.stdoutText);
  return run;
}

ProgramRun RunPixquill(const std::vector<std::string>& args, const std::string& input) {
  return RunProgram(PIXQUILL_BINARY, args, input);
}

ProgramRun RunBatch(const std::vector<std::string>& args, const std::string& input, const std::string& workingFolder) {
  return RunProgram(PIXQUILLBATCH_BINARY, args, input, workingFolder);
}

std::string BatchBinary() { return PIXQUILLBATCH_BINARY; }
std::string PixquillBinary() { return PIXQUILL_BINARY; }

ProgramRun RunPixquillIn(const std::string& workingFolder, const std::vector<std::string>& args) {
  return RunProgram(PIXQUILL_BINARY, args, "", workingFolder);
}

ProgramRun RunPixquillWith(const std::vector<std::string>& args, const ProcessSetup& setup, int timeoutSeconds) {
  ProcessSetup applied = setup;
  if (IsSanitizerBuild()) applied.addressSpaceBytes = 0;
  return RunProgram(PIXQUILL_BINARY, args, "", "", timeoutSeconds, applied);
}

pid_t StartPixquill(const std::vector<std::string>& args) {
  const std::string program = PIXQUILL_BINARY;
  const pid_t child = fork();
  if (child != 0) return child;
  setpgid(0, 0);
  const int nothing = open("/dev/null", O_RDWR);
  for (int fd : {0, 1, 2}) dup2(nothing, fd);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
  execv(program.c_str(), ArgumentVector(program, args).data());
  _exit(127);
}

bool IsSanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

ProgramRun RunPixquillWithin(const std::vector<std::string>& args, int timeoutSeconds, int64_t addressSpaceBytes) {
  return RunPixquillWith(args, {.addressSpaceBytes = addressSpaceBytes}, timeoutSeconds);
}

std::string SamplesFolder() {
  const char* overridden = std::getenv("PIXQUILL_SAMPLES_DIR");
  std::string folder = overridden ? overridden : PIXQUILL_SAMPLES_DIR;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return {};
  return folder;
}
