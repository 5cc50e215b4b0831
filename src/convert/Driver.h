#pragma once
// The conversion driver: checks the request, reports the settings in debug mode, runs the
// worker on its own thread and reports the outcome.
#include <optional>
#include <string>

#include "platform/ExitStatus.h"

// Converts the job's input: Done when a file was converted, Stopped when none was, Refused
// when a check of the request failed.
ExitStatus RunConversion(bool quiet);

// What the request checks make of a request: the message of the first failed check, or
// the output folder the request would write into.
struct RequestVerdict {
  std::optional<std::string> error;
  std::string outputFolder;  // absolute, ending in "/"; set when no check failed
};

// Every check RunConversion makes before it converts, printing nothing, for `inputFile`
// and `outputFolder` as a user gives them (an empty folder: the input's own). The output
// extension is the job's, the settings the program's.
[[nodiscard]] RequestVerdict CheckConversionRequest(const std::string& inputFile, const std::string& outputFolder);

// Puts `path` into JobFileList when it is an accepted input file.
bool AddJobFile(const std::string& path);

// Fixes the job's save format, depth and flags for its output extension, for the whole run.
void FixSaveSettings();
