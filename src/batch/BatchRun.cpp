#include "batch/BatchRun.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "convert/ConversionJob.h"
#include "platform/Clock.h"
#include "platform/FilePtr.h"
#include "platform/Files.h"
#include "platform/Machine.h"
#include "platform/Programs.h"
#include "settings/Keywords.h"

namespace {

constexpr const char* kArgumentVariable = "PIXQUILLBATCH_ARG_";
constexpr const char* kProgramVariable = "PIXQUILLBATCH_PROGRAM";
constexpr const char* kFolderVariable = "PIXQUILLBATCH_FOLDER";

// One SIGTERM lets pixquillcmd remove what it was writing; a job still running a second
// later is killed.
constexpr const char* kTermSequence = "TERM,1000,KILL,25";
// With the modification times, the time stamps a conversion copies from its input and
// gives its output travel too.
constexpr const char* kRsyncOptions = "PARALLEL_RSYNC_OPTS=-rlDzRt";
constexpr int kPollMilliseconds = 250;

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

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// Catches the stop signals while GNU parallel runs; poll() returns at once when one comes.
class StopSignals {
 public:
  StopSignals() {
    stopRequested = 0;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &saved_[i]);
  }
  ~StopSignals() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved_[std::size(kSignals)]{};
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

// Reads what is available on `fd` and hands over every complete line; false at the end.
bool ReadLines(int fd, std::string& pending, BatchProgressRecord& progress) {
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0 && !pending.empty()) ApplyOutputLine(pending, progress);
  if (got == 0) return false;
  pending.append(buffer, static_cast<size_t>(got));
  for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
    ApplyOutputLine(pending.substr(0, nl), progress);
  return true;
}

void DrawProgress(const std::string& text) {
  std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
  std::fflush(stderr);
}

struct Follower {
  JobLogReader jobLog;
  BatchProgressRecord& progress;
  bool showProgress;
  int64_t start = MonotonicMilliseconds();
  int64_t lastDraw = 0;

  double Seconds() const { return static_cast<double>(MonotonicMilliseconds() - start) / 1000.0; }

  void Update() {
    ApplyJobLogLines(jobLog.ReadNewLines(), progress, true);
    if (!showProgress || MonotonicMilliseconds() - lastDraw < kPollMilliseconds) return;
    lastDraw = MonotonicMilliseconds();
    DrawProgress(ProgressText(progress, Seconds()));
  }
};

// Reads GNU parallel's output until it closes both streams, following the job log.
bool FollowParallel(StartedProgram& parallel, Follower& follower) {
  bool interrupted = false;
  std::string pending[2];
  UniqueFd* streams[2] = {&parallel.output, &parallel.errors};
  while (streams[0]->get() >= 0 || streams[1]->get() >= 0) {
    pollfd polls[2] = {{streams[0]->get(), POLLIN, 0}, {streams[1]->get(), POLLIN, 0}};
    const int ready = poll(polls, 2, kPollMilliseconds);
    for (int i = 0; i < 2 && ready > 0; ++i)
      if (polls[i].revents != 0 && !ReadLines(streams[i]->get(), pending[i], follower.progress)) streams[i]->reset();
    if (stopRequested && !interrupted) {
      interrupted = true;
      kill(parallel.pid, SIGINT);
    }
    follower.Update();
  }
  return interrupted;
}

}  // namespace

JobPlace JobPlaceOf(const BatchSettingsRecord& settings) {
  if (settings.sshLogins.empty() && settings.sshLoginFile.empty()) return JobPlace::ThisMachine;
  return settings.transfer ? JobPlace::Transferred : JobPlace::SharedFiles;
}

std::string JobCommand(JobPlace place, size_t optionCount) {
  const std::string options = OptionArguments(optionCount) + " -q";
  const std::string here = "\"$" + std::string(kProgramVariable) + "\"";
  switch (place) {
    case JobPlace::ThisMachine: return "exec " + here + options + " -i {1} -o {2}";
    case JobPlace::SharedFiles:
      return "if [ \"$PARALLEL_SSHHOST\" = : ]; then p=" + here + "; else p=pixquillcmd; fi; exec \"$p\"" + options +
             " -i {1} -o {2}";
    case JobPlace::Transferred:
      // The input arrives in the job's own working folder, the JPEG is written there, and
      // the input is removed so that only the JPEG travels back. Jobs on this machine get
      // such a folder too, so they go back to the batch's, where relative option paths hold.
      return "if [ \"$PARALLEL_SSHHOST\" = : ]; then cd \"$" + std::string(kFolderVariable) + "\" && exec " + here +
             options + " -i {1} -o {2}; else pixquillcmd" + options +
             " -i ./{1/} -o \"$PWD\"; s=$?; rm -f ./{1/}; exit $s; fi";
  }
  return {};
}

std::vector<std::string> ParallelArguments(const ParallelRequest& request) {
  const BatchSettingsRecord& settings = request.settings;
  const JobPlace place = JobPlaceOf(settings);
  std::vector<std::string> args = {"--will-cite", "-0", "-N", "2", "--tagstring", "{#}", "--termseq", kTermSequence};
  AddOption(args, "--joblog", request.jobLog);
  if (settings.resume) args.push_back("--resume-failed");
  AddOption(args, "--memfree", request.memFree);
  AddOption(args, "-j", settings.jobs);
  AddOption(args, "-S", settings.sshLogins);
  AddOption(args, "--sshloginfile", settings.sshLoginFile);
  AddOption(args, "--ssh", settings.sshCommand);
  if (place != JobPlace::ThisMachine)
    for (size_t i = 1; i <= request.jobOptions.size(); ++i)
      AddOption(args, "--env", kArgumentVariable + std::to_string(i));
  if (place == JobPlace::Transferred)
    args.insert(args.end(), {"--wd", "...", "--transferfile", "{1}", "--return", "{2}/./.", "--cleanup"});
  args.push_back(JobCommand(place, request.jobOptions.size()));
  return args;
}

std::vector<std::string> JobEnvironment(const ParallelRequest& request) {
  std::vector<std::string> environment = {std::string(kProgramVariable) + "=" + request.program,
                                          std::string(kFolderVariable) + "=" + CurrentFolder(),
                                          "PARALLEL_SHELL=/bin/sh", kRsyncOptions};
  for (size_t i = 0; i < request.jobOptions.size(); ++i)
    environment.push_back(kArgumentVariable + std::to_string(i + 1) + "=" + request.jobOptions[i]);
  return environment;
}

std::string ParallelInput(const std::vector<BatchFile>& files, JobPlace place) {
  std::string text;
  for (const BatchFile& file : files) {
    const std::string folder = FolderPart(file.input);
    text += place == JobPlace::Transferred ? folder + "./" + file.input.substr(folder.size()) : file.input;
    text += '\0' + file.outputFolder + '\0';
  }
  return text;
}

int64_t MemoryPerJob(int64_t largestInput, int32_t rawLoadAs) {
  int64_t factor = kUnknownModeMemory;
  for (const LoadModeMemory& row : kLoadModeMemory)
    if (row.rawLoadAs == rawLoadAs) factor = row.perInputByte;
  return largestInput * factor;
}

std::string DefaultMemFree(const BatchSettingsRecord& settings, int64_t perJob) {
  if (JobPlaceOf(settings) != JobPlace::ThisMachine) return {};
  const bool plainNumber = !settings.jobs.empty() && settings.jobs.find_first_not_of("0123456789") == std::string::npos;
  const int64_t slots = plainNumber ? std::atoll(settings.jobs.c_str()) : ProcessorCount();
  if (slots > 0 && perJob * slots * 2 <= PhysicalMemoryBytes()) return {};
  return std::to_string(perJob);
}

ParallelOutcome RunParallel(const ParallelRequest& request, const std::vector<BatchFile>& files,
                            BatchProgressRecord& progress, bool showProgress) {
  FilePtr input(std::tmpfile());
  const std::string text = ParallelInput(files, JobPlaceOf(request.settings));
  if (!input || std::fwrite(text.data(), 1, text.size(), input.get()) != text.size() || std::fflush(input.get()) != 0)
    return {127, false};
  std::rewind(input.get());
  StopSignals stopSignals;
  std::vector<std::string> args = ParallelArguments(request);
  args.insert(args.begin(), "parallel");
  std::optional<StartedProgram> parallel = StartProgram(args, JobEnvironment(request), fileno(input.get()), SIGINT);
  if (!parallel) return {127, false};
  Follower follower{JobLogReader(request.jobLog), progress, showProgress};
  ParallelOutcome outcome;
  outcome.interrupted = FollowParallel(*parallel, follower);
  outcome.exitStatus = WaitForProgram(parallel->pid);
  outcome.interrupted = outcome.interrupted || stopRequested;
  follower.Update();
  if (showProgress) DrawProgress("");
  return outcome;
}
