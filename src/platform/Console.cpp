#include "platform/Console.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {
std::mutex consoleLock;  // the worker and the main thread both print whole lines
}

void PrintLine(std::string_view line) {
  std::lock_guard<std::mutex> guard(consoleLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void WaitForKey() {
  termios saved{};
  bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
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
