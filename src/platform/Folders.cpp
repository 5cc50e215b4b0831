#include "platform/Folders.h"

#include <filesystem>
#include <system_error>

#include "platform/Files.h"

namespace fs = std::filesystem;

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
  for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
    std::error_code kind;
    if (walk->path().filename().string().starts_with('.'))
      walk.disable_recursion_pending();
    else if (walk->is_regular_file(kind))
      files.push_back(walk->path().string());
  }
  return files;
}

bool MakeFolders(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return fs::is_directory(folder, error);
}

std::string AbsolutePath(const std::string& path) {
  fs::path given(path);
  if (given.is_relative()) given = fs::path(CurrentFolder()) / given;
  return given.lexically_normal().string();
}
