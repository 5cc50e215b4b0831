#include "batch/BatchWatch.h"

// The file events come from the kernel's inotify calls, not from inotifywait feeding GNU
// parallel: each folder's watch is added before the folder is listed, so a file made in a
// new subfolder before its watch existed is found by the listing instead of being missed;
// an overflow of the kernel's queue is seen and answered by listing the tree again; and
// names with any bytes, line breaks included, come through whole.
//
// GNU parallel runs the files in waves, one run per group of files completed since the
// last wave began, rather than one run reading names from a pipe for the whole watch: a
// GNU parallel that waits for its next input with a job slot free does not collect the
// jobs that end meanwhile, so their log rows, their report and, with --transfer, their
// JPEG files would wait for the next file to arrive. A wave costs one start of GNU
// parallel, and files that complete during a wave make the next one larger, so every core
// is kept busy when files come faster than one is converted.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "batch/BatchInputs.h"
#include "batch/BatchLog.h"
#include "batch/BatchReport.h"
#include "batch/BatchRun.h"
#include "batch/BatchSteps.h"
#include "convert/ConversionJob.h"
#include "convert/Driver.h"
#include "formats/FormatTables.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/FolderEvents.h"
#include "platform/Folders.h"
#include "platform/Machine.h"
#include "platform/Paths.h"
#include "platform/Programs.h"
#include "platform/StopSignals.h"
#include "settings/ConversionSettings.h"

namespace {

// A wave holds at most this many files, so that a burst of thousands is reported as it
// goes and no wave's records grow with the burst.
constexpr size_t kWaveFiles = 500;
// A file found by listing a folder, not by its closing, may still be being written: it is
// taken once it has not been written to for this long.
constexpr int64_t kQuietMilliseconds = 1000;
constexpr int64_t kStatusMilliseconds = 1000;

volatile std::sig_atomic_t watchStopSignal = 0;
volatile std::sig_atomic_t wakeFd = -1;

void OnStopSignal(int signal) {
  if (watchStopSignal == 0) watchStopSignal = signal;
  const int saved = errno;
  if (wakeFd >= 0 && write(wakeFd, "", 1) < 0) {
  }
  errno = saved;
}

// Catches the stop signals between waves (a wave's GNU parallel run catches its own) and
// ends the wait for file events through a pipe.
class WatchSignals {
 public:
  WatchSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      read_ = UniqueFd(fds[0]);
      write_ = UniqueFd(fds[1]);
    }
    watchStopSignal = 0;
    wakeFd = write_.get();
    caught_.emplace(OnStopSignal);
  }
  ~WatchSignals() {
    caught_.reset();
    wakeFd = -1;
  }
  WatchSignals(const WatchSignals&) = delete;
  WatchSignals& operator=(const WatchSignals&) = delete;
  int fd() const { return read_.get(); }

 private:
  UniqueFd read_;
  UniqueFd write_;
  std::optional<StopSignalsCaught> caught_;
};

struct PendingFile {
  int64_t dueAt = 0;          // monotonic milliseconds
  bool waitForQuiet = false;  // found by a listing: taken once not written for a while
};

struct WatchRun {
  const BatchSettingsRecord& settings;
  const ScanResult& scan;
  std::string root;              // the watched folder, absolute, without a trailing "/"
  std::string outputFolder{};    // empty: each JPEG beside its RAW file
  std::string excludedFolder{};  // the output folder when it lies below the watched one
  bool keepSubfolders = true;
  bool showStatus = false;
  FolderWatcher watcher{};
  JobLogFile log{};
  std::string options{};  // as the log records them
  std::vector<std::string> jobOptions{};
  PrivateFolder privateFolder{};
  std::map<std::string, PendingFile> pending{};
  // Planned JPEG path -> the RAW file it was made from, both hashed: a JPEG name another
  // file already took is a clash, however far apart the two files came.
  std::unordered_map<size_t, size_t> outputOwners{};
  size_t taken = 0;      // files handed to waves (a rewritten file once per writing)
  size_t converted = 0;  // of those, converted
  size_t failed = 0;     // failed files, and folders that could not be watched
  size_t cutOff = 0;     // files a stop left unconverted
  size_t earlier = 0;    // files an earlier watch converted, left alone
  std::string lastFile{};
  bool logError = false;
  bool parallelRefused = false;
  int stopSignal = 0;
  size_t waves = 0;
  int64_t start = MonotonicMilliseconds();
  int64_t lastWaveEnd = MonotonicMilliseconds();
  int64_t lastDraw = 0;
};

ExitStatus Refuse(const std::string& message) {
  PrintRefusal(message);
  return ExitStatus::Refused;
}

bool IsBelow(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool IsRawFile(const std::string& path) { return IsAcceptedInputExtension(FileExtension(NameOf(path))); }

// Hidden names (a Mac's "._" copies, ".Trashes") and the output folder's tree are no
// business of the watch.
bool IsWatched(const WatchRun& run, const std::string& path) {
  if (!IsBelow(path, run.root) || IsBelow(path, run.excludedFolder) || path == run.excludedFolder) return false;
  return path.find("/.", run.root.size()) == std::string::npos;
}

void ClearStatus(const WatchRun& run) {
  if (run.showStatus) DrawStatusLine("");
}

void PrintLines(const WatchRun& run, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  ClearStatus(run);
  for (const std::string& line : lines) PrintLine(line);
}

void ReportFailure(WatchRun& run, const std::string& path, const std::string& reason) {
  PrintLines(run, {"Failed: " + EscapedText(path), "  " + reason});
  ++run.failed;
}

std::string StatusText(const WatchRun& run) {
  std::string text = "Watching " + EscapedText(run.root) + ": " + std::to_string(run.converted) + " converted";
  if (run.failed > 0) text += ", " + std::to_string(run.failed) + " failed";
  if (!run.lastFile.empty()) text += ", last " + EscapedText(NameOf(run.lastFile));
  return text + ", idle " + DurationText((MonotonicMilliseconds() - run.lastWaveEnd) / 1000);
}

void DrawStatus(WatchRun& run, bool now) {
  if (!run.showStatus || (!now && MonotonicMilliseconds() - run.lastDraw < kStatusMilliseconds)) return;
  run.lastDraw = MonotonicMilliseconds();
  DrawStatusLine(StatusText(run));
}

// Watches `folder` and every folder below it, adding the RAW files in them to `found`. A
// folder is watched before it is listed, so a file made meanwhile is listed, reported by
// an event, or both. Links to folders are not followed: a watch follows the real tree.
void WatchTree(WatchRun& run, const std::string& folder, std::vector<std::string>& found) {
  if (std::optional<std::string> error = WatchOneFolder(run.watcher, folder)) {
    ReportFailure(run, folder, "The folder cannot be watched: " + *error);
    return;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
  if (!listing) {
    ReportFailure(run, folder, std::string("The folder could not be read: ") + std::strerror(errno));
    return;
  }
  std::vector<std::string> subfolders;
  while (const dirent* entry = readdir(listing.get())) {
    if (entry->d_name[0] == '.') continue;
    const std::string path = folder + "/" + entry->d_name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode) && IsWatched(run, path)) subfolders.push_back(path);
    if (!S_ISDIR(info.st_mode) && IsRawFile(path) && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      found.push_back(path);
  }
  listing.reset();
  for (const std::string& subfolder : subfolders) WatchTree(run, subfolder, found);
}

std::optional<int64_t> MillisecondsSinceWritten(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return (now.tv_sec - info.st_mtim.tv_sec) * 1000 + (now.tv_nsec - info.st_mtim.tv_nsec) / 1000000;
}

// The modification time as the job log writes times.
std::string ModifiedText(const std::string& path) {
  const std::optional<int64_t> local = ReadLocalModificationTime(path);
  if (!local) return {};
  const std::time_t seconds = static_cast<std::time_t>(*local);
  std::tm parts{};
  gmtime_r(&seconds, &parts);  // the number already is local wall-clock time
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

BatchFile WatchedFile(const WatchRun& run, const std::string& path) {
  return {path, ParentFolder(path.substr(run.root.size() + 1)), ""};
}

void RecordOutput(WatchRun& run, const BatchFile& file) {
  run.outputOwners[std::hash<std::string>{}(PlannedOutputPath(file))] = std::hash<std::string>{}(file.input);
}

// The files of `paths` that the job log does not show converted since they were last
// written; the others count as converted earlier, and their JPEG names as taken.
std::vector<std::string> LeftToConvert(WatchRun& run, const std::vector<std::string>& paths, const std::string& logText,
                                       size_t& convertedEarlier) {
  std::vector<BatchFile> files;
  for (const std::string& path : paths) files.push_back(WatchedFile(run, path));
  AssignOutputFolders(files, run.outputFolder, run.keepSubfolders);
  const std::map<size_t, std::string> times = ConvertedTimes(logText, files, run.options);
  std::vector<std::string> left;
  for (size_t i = 0; i < files.size(); ++i) {
    auto time = times.find(i);
    const bool done = time != times.end() && ModifiedText(files[i].input) <= time->second;
    if (!done) {
      left.push_back(files[i].input);
      continue;
    }
    ++convertedEarlier;
    RecordOutput(run, files[i]);
  }
  return left;
}

void AddFound(WatchRun& run, const std::string& path) {
  if (!run.pending.count(path)) run.pending[path] = {MonotonicMilliseconds(), true};
}

std::string ReadWholeLog(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// After the kernel dropped events: the whole tree is listed again, and what the job log
// does not show converted since it was written is converted.
void ListAgain(WatchRun& run) {
  std::vector<std::string> found;
  WatchTree(run, run.root, found);
  size_t convertedEarlier = 0;
  for (const std::string& path : LeftToConvert(run, found, ReadWholeLog(run.log.path), convertedEarlier))
    AddFound(run, path);
}

void ApplyEvent(WatchRun& run, const FolderEvent& event) {
  switch (event.kind) {
    case FolderEventKind::FileDone:
      if (IsWatched(run, event.path) && IsRawFile(event.path))
        run.pending[event.path] = {MonotonicMilliseconds(), false};
      return;
    case FolderEventKind::FileWriting:
    case FolderEventKind::FileGone: run.pending.erase(event.path); return;
    case FolderEventKind::FolderAdded: {
      if (!IsWatched(run, event.path)) return;
      std::vector<std::string> found;
      WatchTree(run, event.path, found);
      for (const std::string& path : found) AddFound(run, path);
      return;
    }
    case FolderEventKind::FolderGone:
      StopWatchingBelow(run.watcher, event.path);
      std::erase_if(run.pending, [&](const auto& entry) { return IsBelow(entry.first, event.path); });
      return;
    case FolderEventKind::EventsDropped: ListAgain(run); return;
  }
}

// The files due now, at most a wave of them, in name order.
std::vector<BatchFile> TakeDueFiles(WatchRun& run) {
  const int64_t now = MonotonicMilliseconds();
  std::vector<BatchFile> files;
  for (auto entry = run.pending.begin(); entry != run.pending.end() && files.size() < kWaveFiles;) {
    PendingFile& file = entry->second;
    if (file.dueAt > now) {
      ++entry;
      continue;
    }
    if (file.waitForQuiet) {
      const std::optional<int64_t> age = MillisecondsSinceWritten(entry->first);
      if (!age) {
        entry = run.pending.erase(entry);
        continue;
      }
      // A time stamp in the future (copied from a camera whose clock runs ahead) is no
      // sign of writing.
      if (*age >= 0 && *age < kQuietMilliseconds) {
        file.dueAt = now + kQuietMilliseconds - *age;
        ++entry;
        continue;
      }
    }
    files.push_back(WatchedFile(run, entry->first));
    entry = run.pending.erase(entry);
  }
  return files;
}

// A file whose JPEG would take the name of another's fails instead of replacing it: two
// files of one wave, or a file and one converted before into the same place.
std::vector<BatchFile> WithoutClashes(WatchRun& run, std::vector<BatchFile> files) {
  std::map<std::string, std::string> clashing;  // input -> reason
  for (const OutputClash& clash : FindOutputClashes(files))
    for (size_t i = 1; i < clash.inputs.size(); ++i)
      clashing[clash.inputs[i]] = "Its output file name collides with that of " + EscapedText(clash.inputs[0]) + ": " +
                                  EscapedText(clash.output);
  std::vector<BatchFile> kept;
  for (BatchFile& file : files) {
    const std::string output = PlannedOutputPath(file);
    auto owner = run.outputOwners.find(std::hash<std::string>{}(output));
    if (owner != run.outputOwners.end() && owner->second != std::hash<std::string>{}(file.input))
      clashing.emplace(file.input,
                       "Its output file name collides with that of a file converted before: " + EscapedText(output));
    auto reason = clashing.find(file.input);
    if (reason == clashing.end())
      kept.push_back(std::move(file));
    else
      ReportFailure(run, file.input, reason->second);
  }
  return kept;
}

// GNU parallel's transfer cannot carry a line break in a name (the batch refuses such
// names before it starts); a watch fails each such file alone, before anything is sent.
std::vector<BatchFile> WithTransferableNames(WatchRun& run, std::vector<BatchFile> files) {
  if (JobPlaceOf(run.settings) != JobPlace::Transferred) return files;
  std::vector<BatchFile> kept;
  for (BatchFile& file : files) {
    if (UntransferableInputs({file}).empty())
      kept.push_back(std::move(file));
    else
      ReportFailure(run, file.input, "Names with a line break cannot be sent to other machines");
  }
  return kept;
}

std::vector<BatchFile> WithOutputFolders(WatchRun& run, std::vector<BatchFile> files) {
  std::vector<BatchFile> kept;
  for (BatchFile& file : files) {
    if (IsFolder(file.outputFolder) || MakeFolders(file.outputFolder)) {
      kept.push_back(std::move(file));
      continue;
    }
    ReportFailure(run, file.input,
                  "Its output folder cannot be made: " + EscapedText(file.outputFolder) + ": " + std::strerror(errno));
  }
  return kept;
}

void Tally(WatchRun& run, const std::vector<BatchFile>& files, const BatchProgressRecord& progress,
           const ParallelOutcome& outcome) {
  bool anyFinished = false;
  for (size_t i = 0; i < files.size(); ++i) {
    const JobState& job = progress.jobs[i];
    anyFinished = anyFinished || job.finished;
    if (IsConverted(job)) {
      ++run.converted;
      run.lastFile = files[i].input;
      RecordOutput(run, files[i]);
    } else {
      ++(job.finished ? run.failed : run.cutOff);
    }
  }
  run.failed += progress.notRun.size();
  run.logError = run.logError || !progress.logError.empty();
  if (outcome.stopSignal != 0) run.stopSignal = outcome.stopSignal;
  const bool startFailed = outcome.exitStatus == 127 || (outcome.exitStatus == 255 && outcome.stopSignal == 0);
  run.parallelRefused = startFailed && !anyFinished && !files.empty();
}

void RunWave(WatchRun& run, std::vector<BatchFile> files) {
  run.taken += files.size();
  AssignOutputFolders(files, run.outputFolder, run.keepSubfolders);
  files = WithOutputFolders(run, WithTransferableNames(run, WithoutClashes(run, std::move(files))));
  if (files.empty()) return;
  ParallelRequest request;
  request.settings = run.settings;
  request.jobOptions = run.jobOptions;
  request.program = LocalProgram();
  request.jobLog = run.privateFolder.path + "/parallel-joblog-" + std::to_string(++run.waves);
  request.jobs = CappedJobs(run.settings.jobs, files.size());
  MemoryPlan memory = PlanMemory(std::move(files), run.settings, request.jobs, ConversionSettings.rawLoadAs,
                                 PhysicalMemoryBytes(), FreeMemoryBytes());
  request.memFree = memory.memFree;
  if (const char* home = std::getenv("HOME"); !home || home[0] != '/') request.home = run.privateFolder.path;
  BatchProgressRecord progress;
  progress.notRun = std::move(memory.tooLarge);
  files = std::move(memory.files);
  progress.jobs.resize(files.size());
  ParallelOutcome outcome;
  const int64_t start = MonotonicMilliseconds();
  if (!files.empty() && watchStopSignal == 0) {
    ClearStatus(run);
    outcome = RunParallel(request, files, progress, run.showStatus, run.log, run.options);
  }
  std::remove(request.jobLog.c_str());
  Tally(run, files, progress, outcome);
  std::vector<std::string> lines =
      ReportLines(files, progress, static_cast<double>(MonotonicMilliseconds() - start) / 1000.0, true);
  const bool saysWhy =
      std::any_of(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with(kRefusalPrefix); });
  if (run.parallelRefused && !saysWhy) lines.push_back(RefusalLine("GNU parallel could not be started"));
  PrintLines(run, lines);
}

// Waits for file events, a stop, the next file due or the next status line.
void WaitForWork(WatchRun& run, const WatchSignals& signals) {
  int64_t wait = -1;
  for (const auto& [path, file] : run.pending) wait = wait < 0 ? file.dueAt : std::min(wait, file.dueAt);
  if (wait >= 0) wait = std::max<int64_t>(0, wait - MonotonicMilliseconds());
  if (run.showStatus) wait = wait < 0 ? kStatusMilliseconds : std::min(wait, kStatusMilliseconds);
  pollfd polls[2] = {{run.watcher.fd.get(), POLLIN, 0}, {signals.fd(), POLLIN, 0}};
  poll(polls, 2, static_cast<int>(wait));
}

void FollowFolder(WatchRun& run, const WatchSignals& signals) {
  while (run.stopSignal == 0 && !run.parallelRefused) {
    if (watchStopSignal != 0) {
      run.stopSignal = watchStopSignal;
      break;
    }
    std::vector<BatchFile> due = TakeDueFiles(run);
    if (!due.empty()) {
      RunWave(run, std::move(due));
      run.lastWaveEnd = MonotonicMilliseconds();
      DrawStatus(run, true);
      continue;
    }
    WaitForWork(run, signals);
    for (const FolderEvent& event : ReadFolderEvents(run.watcher)) ApplyEvent(run, event);
    DrawStatus(run, false);
  }
}

ExitStatus Finish(WatchRun& run) {
  ClearStatus(run);
  if (run.parallelRefused) return ExitStatus::Refused;
  if (!run.scan.quiet)
    PrintLine(ConvertedSummary(run.converted, run.taken + run.earlier, run.earlier,
                               static_cast<double>(MonotonicMilliseconds() - run.start) / 1000.0));
  if (run.scan.pause) {
    PrintLine("Press any key to exit.");
    WaitForKey();
  }
  if (run.stopSignal == SIGINT) return ExitStatus::Interrupted;
  return run.failed == 0 && run.cutOff == 0 && !run.logError ? ExitStatus::Done : ExitStatus::Stopped;
}

std::optional<std::string> FolderProblem(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return std::string("it is not a folder");
  return std::nullopt;
}

// The request is checked as a batch checks it, with a stand-in RAW file of the run's own,
// since the folder may hold none yet.
std::optional<std::string> CheckRequest(WatchRun& run) {
  if (run.privateFolder.path.empty()) return "No temporary folder could be made for GNU parallel's log";
  const std::string standIn = run.privateFolder.path + "/watch.dng";
  if (std::FILE* file = std::fopen(standIn.c_str(), "wb")) {
    std::fputc(0, file);
    std::fclose(file);
  }
  const std::string& given = ConversionJob.outputFolder;
  const bool outputGiven = !given.empty();
  RequestVerdict verdict = CheckConversionRequest(standIn, outputGiven ? OutputFolderToCheck(given) : run.root + "/.");
  if (verdict.error) return verdict.error;
  run.outputFolder = outputGiven ? AbsolutePath(verdict.outputFolder) : "";
  if (run.outputFolder.size() > 1 && run.outputFolder.back() == '/') run.outputFolder.pop_back();
  if (IsBelow(run.outputFolder, run.root)) run.excludedFolder = run.outputFolder;
  run.keepSubfolders = ConversionSettings.keepSubfolders != 0;
  std::vector<BatchFile> sample = {WatchedFile(run, run.root + "/watch.dng")};
  AssignOutputFolders(sample, run.outputFolder, run.keepSubfolders);
  if (std::optional<std::string> name = NameLeavingOutputFolder(sample))
    return "The file name mask gives " + EscapedText(*name) + ", which leaves the output folder; nothing was converted";
  return std::nullopt;
}

std::optional<std::string> OpenLog(WatchRun& run) {
  const std::optional<std::string> path = JobLogPath(run.settings, run.outputFolder);
  if (!path) return "No folder for the job log: neither HOME nor XDG_STATE_HOME is set (give --joblog=FILE)";
  if (std::optional<std::string> error = CheckJobLogPath(*path, {})) return error;
  // A watch always goes on from the log: started again, it skips what it converted.
  if (std::optional<std::string> error = OpenJobLog(*path, true, run.log)) return error;
  run.jobOptions = JobOptions(run.scan);
  run.options = OptionsText(run.jobOptions);
  return std::nullopt;
}

std::optional<std::string> StartWatching(WatchRun& run) {
  std::optional<FolderWatcher> watcher = OpenFolderWatcher();
  if (!watcher) return std::string("The kernel's file events cannot be had: ") + std::strerror(errno);
  run.watcher = std::move(*watcher);
  if (std::optional<std::string> error = WatchOneFolder(run.watcher, run.root))
    return "Invalid watch folder " + EscapedText(run.root) + ": " + *error;
  std::vector<std::string> found;
  WatchTree(run, run.root, found);
  if (!run.settings.newOnly)
    for (const std::string& path : LeftToConvert(run, found, run.log.earlier, run.earlier)) AddFound(run, path);
  run.log.earlier = std::string();
  return std::nullopt;
}

}  // namespace

ExitStatus WatchFolder(const BatchSettingsRecord& settings, const ScanResult& scan,
                       const std::vector<std::string>& paths) {
  if (!paths.empty() || !settings.filesFrom.empty())
    return Refuse("A watch takes no other PATH: " + EscapedText(paths.empty() ? settings.filesFrom : paths.front()));
  std::string root = AbsolutePath(settings.watch);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (std::optional<std::string> problem = FolderProblem(root))
    return Refuse("Invalid watch folder " + EscapedText(settings.watch) + ": " + *problem);
  WatchRun run{.settings = settings, .scan = scan, .root = root};
  if (std::optional<std::string> error = CheckRequest(run)) return Refuse(*error);
  if (std::optional<std::string> error = OpenLog(run)) return Refuse(*error);
  WatchSignals signals;
  run.showStatus = !scan.quiet && isatty(STDERR_FILENO);
  if (std::optional<std::string> error = StartWatching(run)) return Refuse(*error);
  FollowFolder(run, signals);
  return Finish(run);
}
