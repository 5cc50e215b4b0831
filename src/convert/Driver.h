#pragma once
// The conversion driver: checks the request, reports the settings in debug mode, runs the
// worker on its own thread and reports the outcome.
#include <optional>
#include <string>

// How a run ended; it becomes the process exit status.
enum class RunOutcome : int {
  Converted = 0,  // at least one file converted
  Stopped = 1,    // the run ended with "Conversion stopped"
  Refused = 2,    // the request was refused with an "Error: " line
};

RunOutcome RunConversion(bool quiet);

// Every check RunConversion makes before it converts, printing nothing: the message of the
// first failed check, nothing when the request would run. ConversionJob.inputFile names
// the file to check; like a run, the check moves it to currentFile and normalises the
// output folder and extension.
std::optional<std::string> CheckConversionRequest();

// Puts `path` into JobFileList when it is an accepted input file.
bool AddJobFile(const std::string& path);

// `folder` as an absolute folder ending in "/". A relative one (not beginning with "/") loses a
// leading "./" or ".\" and is taken from `currentFolder` (which ends in "/"; empty gives
// empty). Trailing "\" count as separators, as trailing "/" do.
std::string AbsoluteFolder(std::string folder, const std::string& currentFolder);

// FolderPart(path) with every occurrence of baseFolder removed; empty when either is empty
// or baseFolder does not occur.
std::string SubfolderOf(const std::string& path, const std::string& baseFolder);
