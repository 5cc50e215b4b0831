#include "platform/Console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <utility>

namespace {
std::mutex consoleLock;  // the worker and the main thread both print whole lines

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif
}  // namespace

void PrintLine(std::string_view line) {
  std::lock_guard<std::mutex> guard(consoleLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string RefusalLine(std::string_view message) { return std::string(kRefusalPrefix).append(message); }

void PrintRefusal(std::string_view message) { PrintLine(RefusalLine(message)); }

void WaitForKey() {
  termios saved{};
  bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    // Ctrl-C is a key like any other here: as a signal it would end the program with the
    // terminal left without echo.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  char c = 0;
  ssize_t got;
  do {
    got = read(STDIN_FILENO, &c, 1);
  } while (got < 0 && errno == EINTR);
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

QuietStandardError::QuietStandardError(bool quiet) {
  if (!quiet) return;
  if (kSanitizerBuild) {
    sink = std::fopen("/dev/null", "w");
    if (sink) savedStream = std::exchange(stderr, sink);
    return;
  }
  const UniqueFd null(open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (null.get() < 0) return;
  std::fflush(stderr);
  savedDescriptor = UniqueFd(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
  if (savedDescriptor.get() >= 0) dup2(null.get(), STDERR_FILENO);
}

QuietStandardError::~QuietStandardError() {
  if (sink) {
    stderr = savedStream;
    std::fclose(sink);
  }
  if (savedDescriptor.get() >= 0) {
    std::fflush(stderr);
    dup2(savedDescriptor.get(), STDERR_FILENO);
  }
}
