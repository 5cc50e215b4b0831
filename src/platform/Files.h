#pragma once
// Files and paths. "/" is the separator; "\" still counts where the program scans for it.
#include <cstdint>
#include <optional>
#include <string>

// What FileSize gives for a directory.
constexpr int64_t kFolderSize = -2;

// Length of the file in bytes; -1 for an empty path or a missing one (or one that cannot
// be examined); kFolderSize for a directory. Trailing "/" and "\" are ignored.
int64_t FileSize(const std::string& path);

// True when `path` names a directory (FileSize's kFolderSize).
bool IsFolder(const std::string& path);

// Full path of the running executable (from /proc/self/exe); empty when it cannot be read.
std::string ProgramPath();

// The current directory, ending in "/"; empty when it cannot be read (it was removed).
std::string CurrentFolder();

// The program's file name without folder and extension ("pixquillcmd").
std::string ProgramName();

// Last-modification time of a file as local wall-clock seconds since 1970-01-01 00:00:00
// (whole seconds; no time-zone conversion applies to the number itself).
std::optional<int64_t> ReadLocalModificationTime(const std::string& path);

// Sets the last-modification time from local wall-clock seconds, converted through the
// local-time rules (mktime). The access time is left alone. False on failure.
bool SetLocalModificationTime(const std::string& path, int64_t localSeconds);

// Gives `to` the last-modification time of `from` in whole seconds (the sub-second part is
// dropped). The instant itself is copied, so a local time that occurs twice when daylight
// saving ends cannot shift it by an hour. The access time is left alone. False on failure.
bool CopyModificationTime(const std::string& from, const std::string& to);

// True when both paths name the same existing file (same device and inode).
bool IsSameFile(const std::string& a, const std::string& b);
