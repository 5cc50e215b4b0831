#pragma once
// Writing a file so that it appears whole under its name or not at all, whatever stops the
// program. The data goes to an unnamed file in the target's folder, reaches the disk
// (fsync), and only then takes the target's name, replacing an earlier file in one step.
// A kill at any moment, SIGKILL included, leaves nothing behind. Where the file system has
// no unnamed files the data goes to a hidden temporary name instead, which a stopping
// signal removes (platform/StopSignals.h); only SIGKILL or a crash can leave it behind.
// Every name is taken relative to the open folder, so a temporary name never makes a path
// longer than the target's own.
#include <string>

#include "platform/FilePtr.h"
#include "platform/UniqueFd.h"

// A file being written; discarded when it goes away uncommitted.
struct PendingFile {
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();
  UniqueFd folder;            // the target's folder, open
  std::string name;           // the target's name within the folder
  std::string temporaryName;  // empty for an unnamed file
  FilePtr stream;             // the data; null until begun
};

// Begins `file` for `target`, with the mode that writing in place would have given it: an
// existing regular file passes on its permission bits (not set-id or sticky), anything else
// (nothing, a link, a device) gives 0666 less the umask. False when the folder cannot be
// written, or when the target exists and this user may not write it: a write-protected
// file is not replaced.
[[nodiscard]] bool BeginOutputFile(const std::string& target, PendingFile& file);

// The same with a hidden temporary name, the way taken where the file system has no
// unnamed files.
[[nodiscard]] bool BeginNamedOutputFile(const std::string& target, PendingFile& file);

// Flushes the data to disk and gives the file its name. False, with the file discarded and
// an earlier file of that name intact, when any step fails or a stopping signal has
// arrived in the meantime.
[[nodiscard]] bool CommitOutputFile(PendingFile& file);
