#pragma once
// The batch's job log: one row per finished file, naming the file, its output folder and
// the options that made its JPEG, so that --resume skips exactly the files converted
// before into the same place with the same options. It is kept outside the output folder
// (which may be about to be uploaded), and a run holds a lock on it, so that two batches
// into one folder never mix their rows.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/BatchInputs.h"
#include "platform/UniqueFd.h"

// The default log of a batch into `outputFolder`, or of one that writes beside its inputs
// (empty `outputFolder`) started in `currentFolder`: a file named for that folder in
// $XDG_STATE_HOME/pixquillbatch (an absolute XDG_STATE_HOME, else ~/.local/state).
// Nothing when neither variable gives a folder.
std::optional<std::string> DefaultJobLogPath(const std::string& outputFolder, const std::string& currentFolder,
                                             const char* stateHome, const char* home);

// The refusal for a job log path that names an input, a planned output, something other
// than a regular file, or an existing file that is not a job log (which the run would
// overwrite); nothing when the path may be used.
std::optional<std::string> CheckJobLogPath(const std::string& path, const std::vector<BatchFile>& files);

// The options of the jobs as the log records them: shell words, quoted where needed.
std::string OptionsText(const std::vector<std::string>& options);

enum class JobResult { Converted, Failed, Stopped };

struct JobLogEntry {
  std::string time;
  JobResult result = JobResult::Failed;
  std::string host;  // ":" for this machine
};

// One row: time, result, machine, input, output folder and options, tab-separated, escaped.
std::string JobLogRow(const JobLogEntry& entry, const BatchFile& file, const std::string& options);

// The files of `files` that a converted row of `logText` names with the same output folder
// and options, by index.
std::set<size_t> ConvertedBefore(const std::string& logText, const std::vector<BatchFile>& files,
                                 const std::string& options);

// The same files with the time of their latest converted row ("2024-05-01 12:34:56",
// local time, as rows give it).
std::map<size_t, std::string> ConvertedTimes(const std::string& logText, const std::vector<BatchFile>& files,
                                             const std::string& options);

struct JobLogFile {
  std::string path;
  UniqueFd fd;             // locked for the run
  std::string earlier;     // the rows an earlier run left, when resuming
  std::string writeError;  // the first failed write, as the report names it
};

// Opens and locks the log. Without `resume` the earlier rows are dropped. Returns the
// refusal when another run holds the lock or the file cannot be used.
std::optional<std::string> OpenJobLog(const std::string& path, bool resume, JobLogFile& log);

// Appends rows; a failed write is kept in `log.writeError`.
void AppendToJobLog(JobLogFile& log, const std::string& rows);
