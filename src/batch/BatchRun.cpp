#include "batch/BatchRun.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "platform/Clock.h"
#include "platform/FilePtr.h"
#include "platform/Files.h"
#include "platform/Machine.h"
#include "platform/Paths.h"
#include "platform/Programs.h"
#include "platform/StopSignals.h"
#include "settings/Keywords.h"

namespace {

constexpr const char* kArgumentVariable = "PIXQUILLBATCH_ARG_";
constexpr const char* kProgramVariable = "PIXQUILLBATCH_PROGRAM";
constexpr const char* kFolderVariable = "PIXQUILLBATCH_FOLDER";
// A batch runs a job per core, so LibRaw's OpenMP in each gets one thread unless the user
// chose otherwise: two jobs of two threads each on two cores only take turns.
constexpr const char* kThreadsVariable = "OMP_NUM_THREADS";
constexpr const char* kFinishedVariable = "PIXQUILLBATCH_FINISHED";

// A job on this machine converts a group of files one after another, so that what GNU
// parallel does for each job (forking its large perl process, collecting the job's output,
// starting the shell, noticing the job's end before it starts the next) is shared by
// several files. A group takes at most half of what is left per job slot, so groups shrink
// towards the end of the list and the last jobs are single files: no core waits long for
// the other.
constexpr size_t kGroupFiles = 8;
constexpr size_t kGroupsPerSlot = 2;
// The fields of one file in a group job's input: its number, the input, its output folder.
constexpr size_t kFileFields = 3;
// Printed by a group job before each file's conversion, with the file's number, so that the
// lines that follow are that file's.
constexpr std::string_view kFileMark =
    "\x1f"
    "file ";

// One SIGTERM lets pixquillcmd remove what it was writing; a job still running a second
// later is killed.
constexpr const char* kTermSequence = "TERM,1000,KILL,25";
// With the modification times, the time stamps a conversion copies from its input and
// gives its output travel too.
constexpr const char* kRsyncOptions = "PARALLEL_RSYNC_OPTS=-rlDzRt";
constexpr int kPollMilliseconds = 250;
// How long GNU parallel may take to stop its jobs, and the jobs it left to stop theirs.
constexpr int64_t kStopGraceMilliseconds = 2000;
constexpr int64_t kLeftoverGraceMilliseconds = 1000;
constexpr int kLeftoverPollMilliseconds = 20;

// Peak memory of one conversion per byte of input, by RAW load mode: a full 24-bit decode
// of a 24-megapixel camera file peaks at about 12 times a compressed file's size, a
// 48-bit one with tone mapping at about 20 times; the embedded preview needs far less, but
// a file without one is decoded in full.
struct LoadModeMemory {
  int32_t rawLoadAs;
  int64_t perInputByte;
};
constexpr LoadModeMemory kLoadModeMemory[] = {
    {kLoadAsAuto, 12}, {kLoadAs8BitPixels, 5}, {kLoadAs16BitPixels, 5},
    {kLoadAs24, 12},   {kLoadAs48HalfSize, 8}, {kLoadAs48, 20},
};
constexpr int64_t kUnknownModeMemory = 20;

volatile std::sig_atomic_t stopCount = 0;
volatile std::sig_atomic_t firstStopSignal = 0;

void RequestStop(int signal) {
  if (stopCount == 0) firstStopSignal = signal;
  stopCount = stopCount + 1;
}

// Catches the stop signals while GNU parallel runs; poll() returns at once when one comes.
struct StopSignals {
  StopSignals() {
    stopCount = 0;
    firstStopSignal = 0;
    caught.emplace(RequestStop);
  }
  std::optional<StopSignalsCaught> caught;
};

std::string OptionArguments(size_t optionCount) {
  std::string words;
  for (size_t i = 1; i <= optionCount; ++i) words += " \"$" + std::string(kArgumentVariable) + std::to_string(i) + "\"";
  return words;
}

void AddOption(std::vector<std::string>& args, const char* name, const std::string& value) {
  if (value.empty()) return;
  args.push_back(name);
  args.push_back(value);
}

// A positive decimal number; 0 for anything else.
size_t NumberIn(std::string_view text) {
  size_t number = 0;
  if (text.empty() || text.size() > 18) return 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<size_t>(c - '0');
  }
  return number;
}

std::string FinishedFilesPath(const ParallelRequest& request) { return request.jobLog + "-files"; }

size_t TerminalColumns() {
  winsize size{};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void DrawProgress(const std::string& text) {
  std::fprintf(stderr, "\r%s\x1b[K", FitToWidth(text, TerminalColumns()).c_str());
  std::fflush(stderr);
}

std::string TimeNow() {
  const std::tm now = LocalNow();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &now);
  return text;
}

JobResult ResultOf(const JobState& job) {
  if (IsConverted(job)) return JobResult::Converted;
  return job.signal != 0 || job.exitValue < 0 ? JobResult::Stopped : JobResult::Failed;
}

struct Follower {
  JobLogReader parallelLog;
  JobLogReader finishedFiles;  // jobs on this machine: each file's number and exit status
  bool grouped;
  BatchProgressRecord& progress;
  const std::vector<BatchFile>& files;
  JobLogFile& log;
  const std::string& options;
  bool showProgress;
  int64_t start = MonotonicMilliseconds();
  int64_t lastDraw = 0;
  std::map<size_t, size_t> currentFiles{};

  void Output(const std::string& line) {
    if (grouped)
      ApplyGroupOutputLine(line, currentFiles, progress);
    else
      ApplyOutputLine(line, progress);
  }

  double Seconds() const { return static_cast<double>(MonotonicMilliseconds() - start) / 1000.0; }

  // `final`: GNU parallel has ended and its output is read, so every logged job is known.
  void Update(bool final) {
    if (grouped)
      ApplyFinishedFileLines(finishedFiles.ReadNewLines(), progress);
    else
      ApplyJobLogLines(parallelLog.ReadNewLines(), progress);
    std::string rows;
    for (size_t job : TakeSettledJobs(progress, final))
      rows += JobLogRow({TimeNow(), ResultOf(progress.jobs[job]), progress.jobs[job].host}, files[job], options);
    AppendToJobLog(log, rows);
    progress.logError = log.writeError;
    if (!showProgress || MonotonicMilliseconds() - lastDraw < kPollMilliseconds) return;
    lastDraw = MonotonicMilliseconds();
    DrawProgress(ProgressText(progress, Seconds()));
  }
};

std::optional<int> ExitStatusIfEnded(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return std::nullopt;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads what is available on `fd` and hands over every complete line; false at the end.
bool ReadLines(int fd, std::string& pending, Follower& follower) {
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0 && !pending.empty()) follower.Output(std::exchange(pending, {}));
  if (got == 0) return false;
  pending.append(buffer, static_cast<size_t>(got));
  for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
    follower.Output(pending.substr(0, nl));
  return true;
}

// Reads whatever the streams hold; with `wait`, for up to a poll interval.
void ReadStreams(UniqueFd* streams[2], std::string pending[2], Follower& follower, int waitMilliseconds) {
  pollfd polls[2] = {{streams[0]->get(), POLLIN, 0}, {streams[1]->get(), POLLIN, 0}};
  if (poll(polls, 2, waitMilliseconds) <= 0) return;
  for (int i = 0; i < 2; ++i)
    if (polls[i].revents != 0 && !ReadLines(streams[i]->get(), pending[i], follower)) streams[i]->reset();
}

// After GNU parallel has ended: what it wrote is read, but processes it left behind may
// keep the pipes open, so nothing is waited for.
void DrainStreams(UniqueFd* streams[2], std::string pending[2], Follower& follower) {
  for (int rounds = 0; rounds < 10000 && (streams[0]->get() >= 0 || streams[1]->get() >= 0); ++rounds) {
    pollfd polls[2] = {{streams[0]->get(), POLLIN, 0}, {streams[1]->get(), POLLIN, 0}};
    if (poll(polls, 2, 0) <= 0) break;
    ReadStreams(streams, pending, follower, 0);
  }
  for (int i = 0; i < 2; ++i)
    if (!pending[i].empty()) follower.Output(std::exchange(pending[i], {}));
}

// The first stop signal asks GNU parallel to stop its jobs; a second one, or its taking too
// long, kills it.
void PassOnStop(pid_t parallel, int& handled, int64_t& stopAt) {
  if (stopCount > handled) {
    kill(parallel, handled == 0 ? SIGINT : SIGKILL);
    if (handled == 0) stopAt = MonotonicMilliseconds();
    handled = stopCount;
  }
  if (handled > 0 && MonotonicMilliseconds() - stopAt > kStopGraceMilliseconds) kill(parallel, SIGKILL);
}

// Follows GNU parallel until it has ended; its exit status.
int FollowParallel(StartedProgram& parallel, Follower& follower) {
  std::string pending[2];
  UniqueFd* streams[2] = {&parallel.output, &parallel.errors};
  int handled = 0;
  int64_t stopAt = 0;
  for (;;) {
    ReadStreams(streams, pending, follower, kPollMilliseconds);
    if (std::optional<int> status = ExitStatusIfEnded(parallel.pid)) {
      DrainStreams(streams, pending, follower);
      return *status;
    }
    PassOnStop(parallel.pid, handled, stopAt);
    follower.Update(false);
  }
}

// This process's children: with the batch as their subreaper, what GNU parallel left
// running when it ended.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return children;
  std::string self = " ";
  self.append(std::to_string(getpid())).append(" ");
  while (const dirent* entry = readdir(proc.get())) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0) continue;
    FilePtr stat(std::fopen(("/proc/" + std::string(entry->d_name) + "/stat").c_str(), "rb"));
    char text[512] = {};
    if (!stat || std::fread(text, 1, sizeof text - 1, stat.get()) == 0) continue;
    // "pid (name) state ppid ...": the name may hold anything but ends at the last ")".
    const std::string fields = text;
    const size_t close = fields.rfind(')');
    if (close != std::string::npos && fields.compare(close + 3, self.size(), self) == 0) children.push_back(pid);
  }
  return children;
}

// Stops and reaps every process GNU parallel left behind: SIGTERM to each job's process
// group, so that pixquillcmd removes what it was writing, then SIGKILL after a second.
void StopLeftovers() {
  const int64_t start = MonotonicMilliseconds();
  std::set<pid_t> told;
  for (;;) {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    const std::vector<pid_t> children = Children();
    if (children.empty()) return;
    const bool late = MonotonicMilliseconds() - start > kLeftoverGraceMilliseconds;
    for (const pid_t child : children) {
      if (!late && !told.insert(child).second) continue;
      const int signal = late ? SIGKILL : SIGTERM;
      if (getpgid(child) == child) kill(-child, signal);
      kill(child, signal);
    }
    poll(nullptr, 0, kLeftoverPollMilliseconds);
  }
}

int64_t MachineSlots(const std::string& jobs) {
  const bool plainNumber = !jobs.empty() && jobs.find_first_not_of("0123456789") == std::string::npos;
  return plainNumber ? std::atoll(jobs.c_str()) : ProcessorCount();
}

// Converts the files of its arguments, three fields each (number, input, output folder),
// until the first empty number; each file's lines follow a mark with its number, and its
// exit status goes to the finished-files list, so that the batch learns of every file as
// it ends, even when the job is stopped before GNU parallel passes on its output.
std::string GroupCommand(const std::string& program) {
  std::string fields;
  for (size_t i = 1; i <= kGroupFiles * kFileFields; ++i) fields += " {" + std::to_string(i) + "}";
  return "set --" + fields + "; while [ -n \"$1\" ]; do printf '\\037file %s\\n' \"$1\"; " + program +
         " -i \"$2\" -o \"$3/.\" 2>&1; printf '%s %d\\n' \"$1\" $? >>\"$" + kFinishedVariable + "\"; shift 3; done";
}

}  // namespace

void ApplyGroupOutputLine(const std::string& line, std::map<size_t, size_t>& currentFiles,
                          BatchProgressRecord& progress) {
  const size_t tab = line.find('\t');
  const size_t job = tab == std::string::npos ? 0 : NumberIn(std::string_view(line).substr(0, tab));
  if (job == 0) {
    ApplyOutputLine(line, progress);
    return;
  }
  const std::string_view text = std::string_view(line).substr(tab + 1);
  if (text.substr(0, kFileMark.size()) == kFileMark) {
    currentFiles[job] = NumberIn(text.substr(kFileMark.size()));
    return;
  }
  auto file = currentFiles.find(job);
  if (file == currentFiles.end() || file->second == 0) {
    progress.notices.push_back(std::string(text));
    return;
  }
  ApplyOutputLine(std::to_string(file->second) + '\t' + std::string(text), progress);
}

void ApplyFinishedFileLines(const std::string& lines, BatchProgressRecord& progress) {
  for (size_t start = 0, end; start < lines.size(); start = end + 1) {
    end = std::min(lines.find('\n', start), lines.size());
    const std::string_view line = std::string_view(lines).substr(start, end - start);
    const size_t space = line.find(' ');
    const size_t number = space == std::string_view::npos ? 0 : NumberIn(line.substr(0, space));
    if (number == 0 || number > progress.jobs.size()) continue;
    JobState& job = progress.jobs[number - 1];
    job = {.finished = true, .host = ":", .status = std::atoi(std::string(line.substr(space + 1)).c_str())};
    if (IsConverted(job)) progress.output.erase(number);
  }
}

JobPlace JobPlaceOf(const BatchSettingsRecord& settings) {
  if (RunsHereOnly(settings)) return JobPlace::ThisMachine;
  return settings.transfer ? JobPlace::Transferred : JobPlace::SharedFiles;
}

std::string JobCommand(JobPlace place, size_t optionCount) {
  const std::string options = OptionArguments(optionCount) + " -q";
  const std::string here = "\"$" + std::string(kProgramVariable) + "\"";
  // The output folder ends in "/." so that pixquillcmd keeps a name's last space or "\".
  const std::string files = " -i {1} -o {2}/.; s=$?;";
  const std::string report = " case $s in [012]) printf '\\037exit %d\\n' $s;; *) exit $s;; esac";
  switch (place) {
    case JobPlace::ThisMachine: return GroupCommand(here + options);
    case JobPlace::SharedFiles:
      return "if [ \"$PARALLEL_SSHHOST\" = : ]; then p=" + here + "; else p=pixquillcmd; fi; \"$p\"" + options + files +
             report;
    case JobPlace::Transferred:
      // The input arrives in the job's own working folder, the JPEG is written there, and
      // the input is removed so that only the JPEG travels back; a job that is stopped
      // removes its working folder, which GNU parallel then no longer cleans up. Jobs on
      // this machine go back to the batch's folder, where relative option paths hold.
      return "if [ \"$PARALLEL_SSHHOST\" = : ]; then cd \"$" + std::string(kFolderVariable) + "\" && " + here +
             options + files +
             " else w=$PWD; case $w in */.parallel/tmp/?*) trap 'cd / && rm -rf -- \"$w\"; exit 143' HUP INT TERM;; "
             "esac; pixquillcmd" +
             options + " -i ./{1/} -o \"$w\"; s=$?; rm -f ./{1/}; fi;" + report;
  }
  return {};
}

std::vector<std::string> ParallelArguments(const ParallelRequest& request) {
  const BatchSettingsRecord& settings = request.settings;
  const JobPlace place = JobPlaceOf(settings);
  const size_t fields = place == JobPlace::ThisMachine ? kGroupFiles * kFileFields : 2;
  std::vector<std::string> args = {"--will-cite", "-0",  "-N",        std::to_string(fields),
                                   "--tagstring", "{#}", "--termseq", kTermSequence};
  // Jobs here say themselves which files they finished.
  if (place != JobPlace::ThisMachine) AddOption(args, "--joblog", request.jobLog);
  AddOption(args, "--memfree", request.memFree);
  AddOption(args, "-j", request.jobs);
  AddOption(args, "-S", settings.sshLogins);
  AddOption(args, "--sshloginfile", settings.sshLoginFile);
  AddOption(args, "--ssh", settings.sshCommand);
  // A job that failed for a machine's sake goes to another machine, each tried once.
  if (const size_t machines = MachineCount(settings); machines > 1)
    AddOption(args, "--retries", std::to_string(machines));
  if (place != JobPlace::ThisMachine) {
    AddOption(args, "--env", kThreadsVariable);
    for (size_t i = 1; i <= request.jobOptions.size(); ++i)
      AddOption(args, "--env", kArgumentVariable + std::to_string(i));
  }
  if (place == JobPlace::Transferred)
    args.insert(args.end(), {"--wd", "...", "--transferfile", "{1}", "--return", "{2}/./.", "--cleanup"});
  args.push_back(JobCommand(place, request.jobOptions.size()));
  return args;
}

std::vector<std::string> JobEnvironment(const ParallelRequest& request) {
  std::vector<std::string> environment = {
      std::string(kProgramVariable) + "=" + request.program, std::string(kFolderVariable) + "=" + CurrentFolder(),
      std::string(kFinishedVariable) + "=" + FinishedFilesPath(request), "PARALLEL_SHELL=/bin/sh", kRsyncOptions};
  if (!request.home.empty()) environment.push_back("HOME=" + request.home);
  if (!std::getenv(kThreadsVariable)) environment.push_back(std::string(kThreadsVariable) + "=1");
  for (size_t i = 0; i < request.jobOptions.size(); ++i)
    environment.push_back(kArgumentVariable + std::to_string(i + 1) + "=" + request.jobOptions[i]);
  return environment;
}

std::vector<size_t> GroupSizes(size_t fileCount, int64_t slots) {
  std::vector<size_t> sizes;
  const size_t share = static_cast<size_t>(std::max<int64_t>(slots, 1)) * kGroupsPerSlot;
  for (size_t left = fileCount; left > 0; left -= sizes.back())
    sizes.push_back(std::clamp<size_t>(left / share, 1, kGroupFiles));
  return sizes;
}

std::string ParallelInput(const std::vector<BatchFile>& files, JobPlace place, const std::vector<size_t>& groups) {
  std::string text;
  if (place == JobPlace::ThisMachine) {
    size_t next = 0;
    for (const size_t size : groups) {
      for (size_t i = next; i < next + size; ++i)
        text += std::to_string(i + 1) + '\0' + files[i].input + '\0' + files[i].outputFolder + '\0';
      text.append((kGroupFiles - size) * kFileFields, '\0');
      next += size;
    }
    return text;
  }
  for (const BatchFile& file : files) {
    const std::string folder = ParentFolder(file.input);
    text += place == JobPlace::Transferred ? folder + "./" + file.input.substr(folder.size()) : file.input;
    text += '\0' + file.outputFolder + '\0';
  }
  return text;
}

int64_t MemoryPerJob(int64_t inputBytes, int32_t rawLoadAs) {
  int64_t factor = kUnknownModeMemory;
  for (const LoadModeMemory& row : kLoadModeMemory)
    if (row.rawLoadAs == rawLoadAs) factor = row.perInputByte;
  return std::max<int64_t>(inputBytes, 0) * factor;
}

MemoryPlan PlanMemory(std::vector<BatchFile> files, const BatchSettingsRecord& settings, const std::string& jobs,
                      int32_t rawLoadAs, int64_t machineMemory, int64_t freeMemory) {
  MemoryPlan plan;
  if (!settings.memFree.empty()) {
    const int64_t bytes = MemorySize(settings.memFree).value_or(0);
    plan.memFree = bytes > 0 ? std::to_string(bytes) : "";
    plan.files = std::move(files);
    return plan;
  }
  if (!RunsHereOnly(settings) || machineMemory <= 0) {
    plan.files = std::move(files);
    return plan;
  }
  int64_t perJob = 0;
  for (BatchFile& file : files) {
    const int64_t need = MemoryPerJob(FileSize(file.input), rawLoadAs);
    if (need > machineMemory) {
      plan.tooLarge.push_back({file.input, "Needs about " + MemoryText(need) + " of memory by its size, more than " +
                                               "this machine's " + MemoryText(machineMemory) +
                                               " (--memfree=0 tries anyway)"});
      continue;
    }
    perJob = std::max(perJob, need);
    plan.files.push_back(std::move(file));
  }
  if (perJob * MachineSlots(jobs) * 2 <= machineMemory) return plan;
  const int64_t startable = freeMemory > 0 ? freeMemory / 4 * 3 : machineMemory / 2;
  plan.memFree = std::to_string(std::max<int64_t>(1, std::min(perJob, startable)));
  return plan;
}

ParallelOutcome RunParallel(const ParallelRequest& request, const std::vector<BatchFile>& files,
                            BatchProgressRecord& progress, bool showProgress, JobLogFile& log,
                            const std::string& options) {
  FilePtr input(std::tmpfile());
  const JobPlace place = JobPlaceOf(request.settings);
  // GNU parallel's memory bound is checked as a job starts, so while it holds jobs back
  // every file waits for it in a job of its own.
  const std::vector<size_t> groups = request.memFree.empty() ? GroupSizes(files.size(), MachineSlots(request.jobs))
                                                             : std::vector<size_t>(files.size(), 1);
  const std::string text = ParallelInput(files, place, groups);
  if (!input || std::fwrite(text.data(), 1, text.size(), input.get()) != text.size() || std::fflush(input.get()) != 0)
    return {127, 0};
  std::rewind(input.get());
  StopSignals stopSignals;
  // Jobs whose GNU parallel ends become this process's children, so they can be stopped.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::vector<std::string> args = ParallelArguments(request);
  args.insert(args.begin(), "parallel");
  std::optional<StartedProgram> parallel = StartProgram(args, JobEnvironment(request), fileno(input.get()), SIGINT);
  if (!parallel) return {127, 0};
  Follower follower{JobLogReader(request.jobLog),
                    JobLogReader(FinishedFilesPath(request)),
                    place == JobPlace::ThisMachine,
                    progress,
                    files,
                    log,
                    options,
                    showProgress};
  ParallelOutcome outcome;
  outcome.exitStatus = FollowParallel(*parallel, follower);
  StopLeftovers();
  follower.Update(true);
  outcome.stopSignal = firstStopSignal;
  if (showProgress) DrawProgress("");
  return outcome;
}

void DrawStatusLine(const std::string& text) { DrawProgress(text); }
