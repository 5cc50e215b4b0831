#pragma once
// Move-only owner of a C stdio stream, so that every path out of a reader or writer closes
// its file.
#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
