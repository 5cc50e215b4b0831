#pragma once
// What the batch learns while GNU parallel runs it: the job log (one line per finished
// job, numbered like the files) and each job's output, tagged with its number; and what
// it prints from them: the progress line and the report at the end.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "batch/BatchInputs.h"

struct JobState {
  bool finished = false;
  int exitValue = 0;  // -1 when GNU parallel stopped the job
  int signal = 0;
};

struct BatchProgressRecord {
  std::vector<JobState> jobs;  // by job number - 1; an earlier run's log lines included
  size_t finishedThisRun = 0;
  // The lines of each job not known to have converted its file, by job number: a report
  // names only failures, and a debug run of many files would otherwise hold every line.
  std::map<size_t, std::vector<std::string>> output;
  std::vector<std::string> notices;  // GNU parallel's own lines
};

// Applies complete job-log lines ("Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\t
// Exitval\tSignal\tCommand"); the header and malformed lines are skipped, a job's later
// line replaces its earlier one. `thisRun` counts the lines as finished in this run.
void ApplyJobLogLines(const std::string& lines, BatchProgressRecord& progress, bool thisRun);

// Files the job log from `offset` on: the complete lines appended since the last read.
class JobLogReader {
 public:
  explicit JobLogReader(std::string path) : path_(std::move(path)) {}
  std::string ReadNewLines();

 private:
  std::string path_;
  int64_t offset_ = 0;
};

// A line of GNU parallel's output: "N\ttext" is job N's, anything else is its own.
void ApplyOutputLine(const std::string& line, BatchProgressRecord& progress);

// "120/500 files, 3.4 files/s, 1 min 52 s left"
std::string ProgressText(const BatchProgressRecord& progress, double seconds);

// "Converted N of M files in T s" unless quiet, then every failed file with the lines its
// conversion printed, then how many files no run has converted yet.
std::vector<std::string> ReportLines(const std::vector<BatchFile>& files, const BatchProgressRecord& progress,
                                     double seconds, bool quiet);

size_t ConvertedCount(const BatchProgressRecord& progress);
