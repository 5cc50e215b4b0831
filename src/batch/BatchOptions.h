#pragma once
// The batch front end's own options. Every other argument belongs to pixquillcmd (its
// options) or names an input (a RAW file or a folder).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct BatchSettingsRecord {
  std::string jobs;            // -j: jobs at once on each machine; empty: one per core
  std::string sshLogins;       // -S: other machines, comma-separated
  std::string sshLoginFile;    // --sshloginfile
  std::string sshCommand;      // --ssh: the command that reaches them; empty: ssh
  std::string filesFrom;       // --files-from: a list of inputs; "-" is standard input
  std::string jobLog;          // --joblog; empty: kept in the user's state folder
  std::string memFree;         // --memfree; empty: from the inputs and the load mode
  std::string watch;           // --watch: a folder whose new RAW files are converted as they land
  bool transfer = false;       // send inputs to the machines and bring the JPEGs back
  bool nullSeparated = false;  // -0: the list of inputs is NUL-separated
  bool resume = false;         // convert only what an earlier run left unconverted
  bool newOnly = false;        // --new-only: a watch leaves the files already there alone
  bool help = false;
  bool version = false;
};

struct BatchOptionRow {
  std::string_view name;                             // "--jobs"
  std::string_view shortName;                        // "-j", or empty
  std::string_view valueName;                        // "N" in the help; empty for a flag
  std::string BatchSettingsRecord::*text = nullptr;  // set for options with a value
  bool BatchSettingsRecord::*flag = nullptr;         // set for options without one
  bool repeats = false;                              // given again, the values are joined with ","
  std::string_view help;                             // its help text; "\n" starts another line
};

std::span<const BatchOptionRow> BatchOptionTable();

struct BatchArguments {
  BatchSettingsRecord settings;
  std::vector<std::string> rest;  // pixquillcmd's options and the inputs, in their order
  std::string errorMessage;       // empty when every batch option was well formed
};

// Takes the batch options out of `args`, wherever they stand. Names are compared exactly;
// a value follows "=" in the same argument (--jobs=4), is attached to a short name (-j4)
// or is the next argument.
BatchArguments SplitBatchArguments(const std::vector<std::string>& args);

// The refusal for a malformed value of a batch option (a job count, a memory size, a list
// of machines) or a memory limit above `machineMemory` when every job runs on this
// machine, which no job could ever meet; nothing when every value is fine.
std::optional<std::string> CheckBatchSettings(const BatchSettingsRecord& settings, int64_t machineMemory);

// True when every job runs on this machine (no -S, no login file).
bool RunsHereOnly(const BatchSettingsRecord& settings);

// The machines the jobs run on: the -S entries and the lines of the login file (":" is
// this machine); 1 without either.
size_t MachineCount(const BatchSettingsRecord& settings);

// The -j value for GNU parallel: no more job slots than `files`, since it probes the
// system's process limit before it starts more processes than it has.
std::string CappedJobs(const std::string& jobs, size_t files);

// A --memfree size in bytes ("2G", "512M", "1.5T", "4000000"); nothing when malformed.
std::optional<int64_t> MemorySize(const std::string& text);

// The help text, one string per line.
std::vector<std::string> BatchHelpLines();
