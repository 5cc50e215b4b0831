#pragma once
// Running the batch through GNU parallel: its command line, the jobs' command, the list of
// files it reads, and the run itself with its progress line and signals.
#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"

struct ParallelRequest {
  BatchSettingsRecord settings;
  std::vector<std::string> jobOptions;  // pixquillcmd options given to every job
  std::string program;                  // pixquillcmd on this machine
  std::string jobLog;                   // absolute
  std::string memFree;                  // empty: no bound
};

enum class JobPlace { ThisMachine, SharedFiles, Transferred };

JobPlace JobPlaceOf(const BatchSettingsRecord& settings);

// The command line of GNU parallel, without the program name.
std::vector<std::string> ParallelArguments(const ParallelRequest& request);

// "NAME=value" entries the jobs read: the pixquillcmd options and this machine's program.
std::vector<std::string> JobEnvironment(const ParallelRequest& request);

// The shell command each job runs; {1} is the input, {2} its output folder.
std::string JobCommand(JobPlace place, size_t optionCount);

// What GNU parallel reads: input and output folder of every file, NUL-separated. For
// transferred jobs the input is written "folder/./name", so that only the name travels.
std::string ParallelInput(const std::vector<BatchFile>& files, JobPlace place);

// What one conversion of the largest input may need in the given RAW load mode.
int64_t MemoryPerJob(int64_t largestInput, int32_t rawLoadAs);

// The default for --memfree: `perJob` when all job slots at once could need more than half
// of this machine's memory, otherwise empty (no bound), because GNU parallel measures the
// free memory with a new process before every job it starts. It measures this machine
// only, so jobs on other machines get no default bound.
std::string DefaultMemFree(const BatchSettingsRecord& settings, int64_t perJob);

struct ParallelOutcome {
  int exitStatus = 0;        // GNU parallel's; 127 when it could not be started
  bool interrupted = false;  // a signal asked the batch to stop
};

// Runs GNU parallel over `files` and follows it until it ends. A progress line goes to
// standard error when `showProgress`. SIGINT, SIGTERM and SIGHUP stop every job: GNU
// parallel is told to stop them (each gets SIGTERM, then SIGKILL after a second) and the
// batch waits for that.
ParallelOutcome RunParallel(const ParallelRequest& request, const std::vector<BatchFile>& files,
                            BatchProgressRecord& progress, bool showProgress);
