#include "platform/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<size_t>(wrote);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return text;
    text.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

ChildResult RunInChildProcess(const std::function<bool(std::string& reply)>& work) {
  int channel[2];
  if (pipe(channel) != 0) {
    ChildResult result;
    result.succeeded = work(result.reply);
    return result;
  }
  std::fflush(stdout);  // nothing buffered is printed twice
  pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    ChildResult result;
    result.succeeded = work(result.reply);
    return result;
  }
  if (child == 0) {
    close(channel[0]);
    std::string reply;
    bool succeeded = work(reply);
    if (succeeded) WriteAll(channel[1], reply);
    close(channel[1]);
    std::fflush(stdout);
    _exit(succeeded ? 0 : 1);
  }
  close(channel[1]);
  ChildResult result;
  result.reply = ReadAll(channel[0]);
  close(channel[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!result.succeeded) result.reply.clear();
  return result;
}
