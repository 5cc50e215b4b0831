#pragma once
// What the batch learns while GNU parallel runs it: GNU parallel's own job log (one line
// per finished job, numbered like this run's files) and each job's output, tagged with its
// number, whose last line gives pixquillcmd's exit status; and what it prints from them:
// the progress line and the report at the end.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/BatchInputs.h"

// A job's last output line: this mark, then pixquillcmd's exit status. The job itself
// ends with 0 once pixquillcmd ran, so that GNU parallel retries on another machine only
// the jobs that failed for the machine's sake (ssh could not reach it, no pixquillcmd there).
inline constexpr std::string_view kJobStatusMark =
    "\x1f"
    "exit ";

struct JobState {
  bool finished = false;  // GNU parallel's log has its line
  int exitValue = 0;      // the job's exit value there; -1 when GNU parallel stopped it
  int signal = 0;
  std::string host;           // the machine it ran on, as GNU parallel names it
  std::optional<int> status;  // pixquillcmd's exit status, from the job's last line
  bool logged = false;        // the batch's job log has its row
};

struct FailedPath {
  std::string path;
  std::string reason;
};

struct BatchProgressRecord {
  std::vector<JobState> jobs;          // this run's files, by job number - 1
  size_t earlierConverted = 0;         // files an earlier run converted, left out of this one
  std::vector<FailedPath> notRun;      // files no job could convert (more memory than the machine has)
  std::vector<FailedPath> unreadable;  // folders whose files could not be listed
  // The lines of each job not known to have converted its file, by job number: a report
  // names only failures, and a debug run of many files would otherwise hold every line.
  std::map<size_t, std::vector<std::string>> output;
  std::vector<std::string> notices;  // GNU parallel's own lines
  std::string logError;              // why the batch's job log could not be written
};

// Applies complete job-log lines ("Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\t
// Exitval\tSignal\tCommand"); the header and malformed lines are skipped, a job's later
// line replaces its earlier one.
void ApplyJobLogLines(const std::string& lines, BatchProgressRecord& progress);

// Files the job log from `offset` on: the complete lines appended since the last read.
class JobLogReader {
 public:
  explicit JobLogReader(std::string path) : path_(std::move(path)) {}
  std::string ReadNewLines();

 private:
  std::string path_;
  int64_t offset_ = 0;
};

// A line of GNU parallel's output: "N\ttext" is job N's, anything else is its own. A job's
// text ends at a carriage return (ssh ends its warnings with one).
void ApplyOutputLine(const std::string& line, BatchProgressRecord& progress);

// Jobs whose outcome became known since the last call, marked as logged; with `all`, every
// finished job (at the end, when no more output can come).
std::vector<size_t> TakeSettledJobs(BatchProgressRecord& progress, bool all);

bool IsConverted(const JobState& job);

// "120/500 files, 2 failed, 3.4 files/s, 1 min 52 s left": the rate and the time left
// count this run's files only.
std::string ProgressText(const BatchProgressRecord& progress, double seconds);

// `text` cut to `columns` - 1 characters, so that a terminal never wraps it; `columns` 0
// (unknown) leaves it.
std::string FitToWidth(const std::string& text, size_t columns);

// "Converted N of M files in T" unless quiet (with "in total, K of them in T" after a
// resumed run), then every failed file with the lines its conversion printed, the folders
// that could not be read, and how many files no run has converted yet.
std::vector<std::string> ReportLines(const std::vector<BatchFile>& files, const BatchProgressRecord& progress,
                                     double seconds, bool quiet);

// "Converted N of M files in T", with "in total, K of them in T" when `earlier` of the
// `total` files were converted by an earlier run; `converted` counts this run's.
std::string ConvertedSummary(size_t converted, size_t total, size_t earlier, double seconds);

// Files converted, by this run and earlier ones.
size_t ConvertedCount(const BatchProgressRecord& progress);

// "42 s", "3 min 5 s", "2 h 10 min".
std::string DurationText(int64_t seconds);

// "1.5 GiB", "300.0 MiB": a memory size for people.
std::string MemoryText(int64_t bytes);

// True when every file is converted, every folder was read and the job log holds it all.
bool EverythingConverted(const BatchProgressRecord& progress);
