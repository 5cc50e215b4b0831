#pragma once
// Running the batch through GNU parallel: its command line, the jobs' command, the list of
// files it reads, the memory bound, and the run itself with its progress line and signals.
#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchInputs.h"
#include "batch/BatchLog.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"

struct ParallelRequest {
  BatchSettingsRecord settings;
  std::vector<std::string> jobOptions;  // pixquillcmd options given to every job
  std::string program;                  // pixquillcmd on this machine
  std::string jobLog;                   // GNU parallel's own, private to the run; absolute
  std::string jobs;                     // -j as GNU parallel gets it; empty: one per core
  std::string memFree;                  // bytes; empty: no bound
  std::string home;                     // HOME for GNU parallel when the batch has none
};

enum class JobPlace { ThisMachine, SharedFiles, Transferred };

JobPlace JobPlaceOf(const BatchSettingsRecord& settings);

// The command line of GNU parallel, without the program name.
std::vector<std::string> ParallelArguments(const ParallelRequest& request);

// "NAME=value" entries the jobs read: the pixquillcmd options and this machine's program.
std::vector<std::string> JobEnvironment(const ParallelRequest& request);

// The shell command each job runs; {1} is the input, {2} its output folder. The options
// come from environment variables, so no option or name is ever part of the command text.
std::string JobCommand(JobPlace place, size_t optionCount);

// What GNU parallel reads: input and output folder of every file, NUL-separated. For
// transferred jobs the input is written "folder/./name", so that only the name travels.
std::string ParallelInput(const std::vector<BatchFile>& files, JobPlace place);

// What one conversion of an input of `inputBytes` may need in the given RAW load mode.
int64_t MemoryPerJob(int64_t inputBytes, int32_t rawLoadAs);

struct MemoryPlan {
  std::string memFree;               // GNU parallel's --memfree in bytes; empty: no bound
  std::vector<FailedPath> tooLarge;  // inputs that need more memory than this machine has
  std::vector<BatchFile> files;      // the others, which run
};

// The memory bound of a run on `files`. With --memfree it is that (0: none). By default,
// when all job slots at once could need more than half of the machine's memory, a job
// starts only while what the largest input needs is free, but never more than three
// quarters of what is free now, so the first job can always start; GNU parallel measures
// this machine only, so jobs on others get no default bound. By default, too, a file
// whose own need exceeds the machine fails at once instead of waiting for ever.
MemoryPlan PlanMemory(std::vector<BatchFile> files, const BatchSettingsRecord& settings, const std::string& jobs,
                      int32_t rawLoadAs, int64_t machineMemory, int64_t freeMemory);

struct ParallelOutcome {
  int exitStatus = 0;  // GNU parallel's; 127 when it could not be started
  int stopSignal = 0;  // the first signal that asked the batch to stop; 0 for none
};

// Runs GNU parallel over `files`, follows it until it ends and writes each finished file's
// row into `log` with `options`. A progress line goes to standard error when
// `showProgress`. SIGINT, SIGTERM and SIGHUP stop every job: GNU parallel is told to stop
// them (each gets SIGTERM, then SIGKILL after a second); should it not end within two
// seconds, or on a second signal, it is killed. Whatever it leaves running is stopped the
// same way before this returns, so no job writes after the batch has ended.
ParallelOutcome RunParallel(const ParallelRequest& request, const std::vector<BatchFile>& files,
                            BatchProgressRecord& progress, bool showProgress, JobLogFile& log,
                            const std::string& options);

// Replaces the line on standard error (a terminal) with `text`, cut to its width.
void DrawStatusLine(const std::string& text);
