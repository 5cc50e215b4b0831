#include "platform/UniqueFd.h"

#include <unistd.h>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd::~UniqueFd() { reset(); }

void UniqueFd::reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}
