#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <vector>

#include "platform/Clock.h"

int64_t FileSize(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  if (trimmed.empty()) return -1;
  struct stat info {};
  if (stat(trimmed.c_str(), &info) != 0) return -1;
  if (S_ISDIR(info.st_mode)) return kFolderSize;
  return static_cast<int64_t>(info.st_size);
}

bool IsFolder(const std::string& path) { return FileSize(path) == kFolderSize; }

std::string ProgramPath() {
  std::vector<char> buffer(4096);
  ssize_t len = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (len <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(len));
}

std::string CurrentFolder() {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (error || folder.empty()) return {};
  return folder.back() == '/' ? folder : folder + "/";
}

std::string ProgramName() {
  std::string path = ProgramPath();
  std::string name = path.substr(path.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::optional<int64_t> ReadLocalModificationTime(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return LocalSecondsFromUtc(static_cast<int64_t>(info.st_mtim.tv_sec));
}

namespace {

bool SetModificationInstant(const std::string& path, time_t utcSeconds) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = utcSeconds;
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace

bool SetLocalModificationTime(const std::string& path, int64_t localSeconds) {
  std::optional<int64_t> utc = UtcFromLocalSeconds(localSeconds);
  if (!utc) return false;
  return SetModificationInstant(path, static_cast<time_t>(*utc));
}

bool CopyModificationTime(const std::string& from, const std::string& to) {
  struct stat info {};
  if (stat(from.c_str(), &info) != 0) return false;
  return SetModificationInstant(to, info.st_mtim.tv_sec);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
