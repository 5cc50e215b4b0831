#pragma once
// The kernel's file events (inotify) for a tree of folders: which files were finished,
// started, removed, and which folders came or went. Each folder is watched on its own, so
// the caller adds every folder it wants, new subfolders included.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

enum class FolderEventKind {
  FileDone,       // closed after writing, or moved into a watched folder
  FileWriting,    // created or written to: not complete until it is closed
  FileGone,       // removed or moved away
  FolderAdded,    // made in, or moved into, a watched folder
  FolderGone,     // removed or moved away
  EventsDropped,  // the kernel's queue overflowed: anything may have happened
};

struct FolderEvent {
  FolderEventKind kind;
  std::string path;  // the watched folder + "/" + the name; empty for EventsDropped
};

struct FolderWatcher {
  UniqueFd fd;                         // the inotify instance, non-blocking
  std::map<int, std::string> folders;  // watch descriptor -> folder (absolute, no trailing "/")
};

// A watcher with no folder yet; nothing (with errno set) when the kernel refuses one.
std::optional<FolderWatcher> OpenFolderWatcher();

// Watches `folder` itself (not a link to one); the system's reason when it cannot.
std::optional<std::string> WatchOneFolder(FolderWatcher& watcher, const std::string& folder);

// Stops watching `folder` and every watched folder below it.
void StopWatchingBelow(FolderWatcher& watcher, const std::string& folder);

// Every event waiting now, in the order they happened; empty when none is waiting.
std::vector<FolderEvent> ReadFolderEvents(FolderWatcher& watcher);
