#pragma once
// The batch front end's own options. Every other argument belongs to pixquillcmd (its
// options) or names an input (a RAW file or a folder).
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
  std::string jobLog;          // --joblog; empty: kept in the output folder
  std::string memFree;         // --memfree; empty: from the largest input and the load mode
  bool transfer = false;       // send inputs to the machines and bring the JPEGs back
  bool nullSeparated = false;  // -0: the list of inputs is NUL-separated
  bool resume = false;         // convert only what an earlier run left unconverted
  bool help = false;
  bool version = false;
};

struct BatchOptionRow {
  std::string_view name;                             // "--jobs"
  std::string_view shortName;                        // "-j", or empty
  std::string BatchSettingsRecord::*text = nullptr;  // set for options with a value
  bool BatchSettingsRecord::*flag = nullptr;         // set for options without one
  bool repeats = false;                              // given again, the values are joined with ","
};

std::span<const BatchOptionRow> BatchOptionTable();

struct BatchArguments {
  BatchSettingsRecord settings;
  std::vector<std::string> rest;  // pixquillcmd's options and the inputs, in their order
  std::string errorMessage;       // empty when every batch option was well formed
};

// Takes the batch options out of `args`, wherever they stand. Names are compared exactly;
// a value follows "=" in the same argument or is the next argument.
BatchArguments SplitBatchArguments(const std::vector<std::string>& args);

// The help text, one string per line.
std::vector<std::string> BatchHelpLines();
