#pragma once
// Move-only owner of a file descriptor: closes it when it goes out of scope.
#include <unistd.h>

struct FileDescriptorCloser {
  int descriptor = -1;
  FileDescriptorCloser() = default;
  explicit FileDescriptorCloser(int owned) : descriptor(owned) {}
  FileDescriptorCloser(FileDescriptorCloser&& other) noexcept : descriptor(other.descriptor) { other.descriptor = -1; }
  FileDescriptorCloser& operator=(FileDescriptorCloser&&) = delete;
  FileDescriptorCloser(const FileDescriptorCloser&) = delete;
  FileDescriptorCloser& operator=(const FileDescriptorCloser&) = delete;
  ~FileDescriptorCloser() {
    if (descriptor >= 0) close(descriptor);
  }
};
