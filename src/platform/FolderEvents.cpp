#include "platform/FolderEvents.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

// What each folder reports: enough to tell a finished file from one being written, and
// the folders that come and go.
constexpr uint32_t kWatchedEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY | IN_DELETE | IN_MOVED_FROM |
                                    IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

struct EventRule {
  uint32_t mask;
  bool folder;  // the event's name is a folder
  FolderEventKind kind;
};

// The first rule an event matches gives its kind; events that match none are left out.
constexpr EventRule kEventRules[] = {
    {IN_CLOSE_WRITE, false, FolderEventKind::FileDone}, {IN_MOVED_TO, false, FolderEventKind::FileDone},
    {IN_CREATE, false, FolderEventKind::FileWriting},   {IN_MODIFY, false, FolderEventKind::FileWriting},
    {IN_DELETE, false, FolderEventKind::FileGone},      {IN_MOVED_FROM, false, FolderEventKind::FileGone},
    {IN_CREATE, true, FolderEventKind::FolderAdded},    {IN_MOVED_TO, true, FolderEventKind::FolderAdded},
    {IN_DELETE, true, FolderEventKind::FolderGone},     {IN_MOVED_FROM, true, FolderEventKind::FolderGone},
};

const EventRule* RuleFor(uint32_t mask) {
  const bool folder = (mask & IN_ISDIR) != 0;
  for (const EventRule& rule : kEventRules)
    if ((mask & rule.mask) != 0 && rule.folder == folder) return &rule;
  return nullptr;
}

bool IsBelow(const std::string& path, const std::string& folder) {
  return path == folder ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

void AddEvent(FolderWatcher& watcher, const inotify_event& event, const std::string& name,
              std::vector<FolderEvent>& events) {
  if ((event.mask & IN_Q_OVERFLOW) != 0) {
    events.push_back({FolderEventKind::EventsDropped, {}});
    return;
  }
  auto folder = watcher.folders.find(event.wd);
  if (folder == watcher.folders.end()) return;
  if ((event.mask & IN_IGNORED) != 0) {
    watcher.folders.erase(folder);
    return;
  }
  const EventRule* rule = name.empty() ? nullptr : RuleFor(event.mask);
  if (rule) events.push_back({rule->kind, folder->second + "/" + name});
}

}  // namespace

std::optional<FolderWatcher> OpenFolderWatcher() {
  FolderWatcher watcher;
  watcher.fd = UniqueFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (watcher.fd.get() < 0) return std::nullopt;
  return watcher;
}

std::optional<std::string> WatchOneFolder(FolderWatcher& watcher, const std::string& folder) {
  const int wd = inotify_add_watch(watcher.fd.get(), folder.c_str(), kWatchedEvents);
  if (wd < 0) return std::string(std::strerror(errno));
  watcher.folders[wd] = folder;
  return std::nullopt;
}

void StopWatchingBelow(FolderWatcher& watcher, const std::string& folder) {
  for (auto entry = watcher.folders.begin(); entry != watcher.folders.end();) {
    if (!IsBelow(entry->second, folder)) {
      ++entry;
      continue;
    }
    inotify_rm_watch(watcher.fd.get(), entry->first);
    entry = watcher.folders.erase(entry);
  }
}

std::vector<FolderEvent> ReadFolderEvents(FolderWatcher& watcher) {
  std::vector<FolderEvent> events;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = read(watcher.fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return events;
    for (ssize_t at = 0; at < got;) {
      inotify_event event{};
      std::memcpy(&event, buffer + at, sizeof event);
      // The name follows the fixed part, NUL-padded to its length.
      const char* name = buffer + at + sizeof(inotify_event);
      const std::string text(name, strnlen(name, event.len));
      at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      AddEvent(watcher, event, text, events);
    }
  }
}
