#include "platform/OutputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/Clock.h"
#include "platform/StopSignals.h"

namespace {

constexpr int kNameAttempts = 64;

// Hidden, and recognisable should a crash ever leave one behind.
std::string RandomTemporaryName() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".pixquill-";
  for (int i = 0; i < 6; ++i) name += kLetters[RandomInteger(0, sizeof kLetters - 2)];
  return name;
}

// The process's umask, read without changing it (umask() would race with other threads).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  return 022;
}

// Opens the target's folder, for the *at calls, and names the target within it.
bool OpenFolderOf(const std::string& target, PendingFile& file) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  file.name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (file.name.empty()) return false;
  file.folder = UniqueFd(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return file.folder.get() >= 0;
}

// The mode that writing in place would have given. False when the target exists and this
// user may not write it (the check follows a link, as writing in place would).
bool ModeForTarget(const PendingFile& file, mode_t& mode) {
  struct stat info {};
  const bool exists = fstatat(file.folder.get(), file.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  mode = exists && S_ISREG(info.st_mode) ? info.st_mode & 0777 : 0666 & ~CurrentUmask();
  return !exists || faccessat(file.folder.get(), file.name.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

// A file created under the temporary name is recorded for the stopping signals at once.
int CreateNamed(PendingFile& file) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = RandomTemporaryName();
    StopSignalsHeld held;
    const int descriptor = openat(file.folder.get(), name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
      file.temporaryName = std::move(name);
      SetTemporaryToRemove(file.folder.get(), file.temporaryName.c_str());
      return descriptor;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Names an unnamed file through /proc, which unlike AT_EMPTY_PATH needs no privilege.
bool LinkUnnamed(int descriptor, int folder, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
  return linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// A link cannot replace a file, so an existing target is replaced by linking to a temporary
// name first and renaming that over it.
bool NameUnnamed(PendingFile& file) {
  const int descriptor = fileno(file.stream.get());
  if (LinkUnnamed(descriptor, file.folder.get(), file.name)) return true;
  if (errno != EEXIST) return false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string between = RandomTemporaryName();
    if (!LinkUnnamed(descriptor, file.folder.get(), between)) {
      if (errno == EEXIST) continue;
      return false;
    }
    SetTemporaryToRemove(file.folder.get(), between.c_str());
    const bool renamed = renameat(file.folder.get(), between.c_str(), file.folder.get(), file.name.c_str()) == 0;
    if (!renamed) unlinkat(file.folder.get(), between.c_str(), 0);
    SetTemporaryToRemove(-1, nullptr);
    return renamed;
  }
  return false;
}

bool GiveName(PendingFile& file) {
  if (file.temporaryName.empty()) return NameUnnamed(file);
  if (renameat(file.folder.get(), file.temporaryName.c_str(), file.folder.get(), file.name.c_str()) != 0) return false;
  SetTemporaryToRemove(-1, nullptr);
  file.temporaryName.clear();
  return true;
}

// Opens the data stream on `descriptor` with `mode` (not reduced by the umask).
void Adopt(PendingFile& file, UniqueFd descriptor, mode_t mode) {
  if (descriptor.get() < 0 || fchmod(descriptor.get(), mode) != 0) return;
  file.stream.reset(fdopen(descriptor.get(), "w+b"));
  if (file.stream) (void)descriptor.release();  // the stream closes it
}

// Where the file system has no unnamed files, or there is no /proc through which one could
// be given its name, the file gets a temporary name.
int CreateUnnamedOrNamed(PendingFile& file, mode_t mode) {
  if (access("/proc/self/fd", X_OK) == 0) {
    const int descriptor = openat(file.folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (descriptor >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return descriptor;
  }
  return CreateNamed(file);
}

}  // namespace

PendingFile::~PendingFile() {
  if (!temporaryName.empty()) {
    StopSignalsHeld held;
    unlinkat(folder.get(), temporaryName.c_str(), 0);
    SetTemporaryToRemove(-1, nullptr);
  }
  stream.reset();
}

bool BeginOutputFile(const std::string& target, PendingFile& file) {
  mode_t mode = 0;
  if (OpenFolderOf(target, file) && ModeForTarget(file, mode))
    Adopt(file, UniqueFd(CreateUnnamedOrNamed(file, mode)), mode);
  return file.stream != nullptr;
}

bool BeginNamedOutputFile(const std::string& target, PendingFile& file) {
  mode_t mode = 0;
  if (OpenFolderOf(target, file) && ModeForTarget(file, mode)) Adopt(file, UniqueFd(CreateNamed(file)), mode);
  return file.stream != nullptr;
}

bool CommitOutputFile(PendingFile& file) {
  if (!file.stream) return false;
  std::FILE* stream = file.stream.get();
  if (std::fflush(stream) != 0 || std::ferror(stream) || fsync(fileno(stream)) != 0) return false;
  {
    StopSignalsHeld held;
    if (StopIsPending() || !GiveName(file)) return false;
  }
  file.stream.reset();
  return true;
}
