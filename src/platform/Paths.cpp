#include "platform/Paths.h"

#include <filesystem>

#include "platform/Files.h"
#include "platform/Text.h"

std::string FolderPart(const std::string& path) {
  size_t start = (!path.empty() && path[0] == '"') ? 1 : 0;
  size_t end = path.find('|', start);
  if (end == std::string::npos) end = path.size();
  size_t lastSeparator = std::string::npos;
  for (size_t i = start; i < end; ++i)
    if (path[i] == '/' || path[i] == '\\') lastSeparator = i;
  if (lastSeparator == std::string::npos) return {};
  return path.substr(start, lastSeparator - start + 1);
}

std::string ParentFolder(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

std::string FileExtension(const std::string& path) {
  for (size_t i = path.size(); i-- > 0;) {
    char c = path[i];
    if (c == ' ' || c == '/' || c == '\\') return {};
    if (c != '.') continue;
    if (i == 0 || path[i - 1] == '/' || path[i - 1] == '\\') return {};
    size_t end = path.find('"', i + 1);
    return path.substr(i + 1, (end == std::string::npos ? path.size() : end) - i - 1);
  }
  return {};
}

std::string AbsoluteFolder(std::string folder, const std::string& currentFolder) {
  const bool relative = !StartsWith(folder, "/");
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  if (!relative) return folder + "/";
  if (currentFolder.empty()) return {};
  if (folder == "." || StartsWith(folder, "./") || StartsWith(folder, ".\\")) folder.erase(0, 2);
  return folder.empty() ? currentFolder : currentFolder + folder + "/";
}

std::string SubfolderOf(const std::string& path, const std::string& baseFolder) {
  if (path.empty() || baseFolder.empty()) return {};
  std::string folder = FolderPart(path);
  if (folder.find(baseFolder) == std::string::npos) return {};
  std::string subfolder;
  size_t pos = 0;
  for (size_t hit; (hit = folder.find(baseFolder, pos)) != std::string::npos; pos = hit + baseFolder.size())
    subfolder += folder.substr(pos, hit - pos);
  return subfolder + folder.substr(pos);
}

std::string AbsolutePath(const std::string& path) {
  std::filesystem::path given(path);
  if (given.is_relative()) given = std::filesystem::path(CurrentFolder()) / given;
  return given.lexically_normal().string();
}
