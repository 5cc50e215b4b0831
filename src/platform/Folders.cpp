#include "platform/Folders.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

using FolderId = std::pair<dev_t, ino_t>;

struct Walk {
  FolderWalk result;
  std::set<FolderId> visited;
  std::vector<std::string> linkedFolders;  // met in this round, walked in the next
};

bool FirstVisit(const std::string& folder, Walk& walk) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return false;
  return walk.visited.insert({info.st_dev, info.st_ino}).second;
}

// Sorts one entry of a folder into files, folders still to walk, and linked folders.
void Classify(const fs::directory_entry& entry, std::vector<std::string>& folders, Walk& walk) {
  if (entry.path().filename().string().starts_with('.')) return;
  std::error_code error;
  const bool link = entry.is_symlink(error);
  if (entry.is_directory(error))
    (link ? walk.linkedFolders : folders).push_back(entry.path().string());
  else if (entry.is_regular_file(error))
    walk.result.files.push_back(entry.path().string());
}

// A link to a folder that holds the whole tree would walk everything around it.
bool IsAncestorOf(const std::string& folder, const std::string& top) { return top.starts_with(folder); }

void WalkTree(const std::string& top, Walk& walk) {
  std::vector<std::string> folders = {top};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    if (!FirstVisit(folder, walk)) continue;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error))
      Classify(*entries, folders, walk);
    if (error) walk.result.unreadable.push_back({folder, error.message()});
  }
}

}  // namespace

FolderWalk WalkFolder(const std::string& folder) {
  Walk walk;
  WalkTree(folder, walk);
  std::error_code error;
  const std::string top = fs::canonical(folder, error).string() + "/";
  while (!walk.linkedFolders.empty()) {
    std::vector<std::string> round = std::exchange(walk.linkedFolders, {});
    std::sort(round.begin(), round.end());
    for (const std::string& linked : round)
      if (!IsAncestorOf(fs::canonical(linked, error).string() + "/", top)) WalkTree(linked, walk);
  }
  return std::move(walk.result);
}

std::vector<std::string> FilesBelow(const std::string& folder) { return WalkFolder(folder).files; }

bool MakeFolders(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return fs::is_directory(folder, error);
}
