#pragma once
// Steps that a batch and a watch take alike: the options every job repeats, the
// pixquillcmd this machine runs, the run's private folder and the job log's place.
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchOptions.h"
#include "cli/ArgumentScan.h"

// The options every job repeats: all but the input, the output folder and the pause.
std::vector<std::string> JobOptions(const ScanResult& scan);

// Relative output folders are taken from the current folder; one that begins with ".." is
// left for the check to refuse.
std::string OutputFolderToCheck(const std::string& given);

// pixquillcmd beside this program, else the one on the PATH.
std::string LocalProgram();

// The job log of a run into `outputFolder` (empty: beside the inputs): --joblog, or the
// default one; nothing when no folder can hold it.
std::optional<std::string> JobLogPath(const BatchSettingsRecord& settings, const std::string& outputFolder);

// A folder of the run's own, for GNU parallel's job log (and its HOME when the batch has
// none); removed with everything in it when the run ends.
struct PrivateFolder {
  std::string path;
  PrivateFolder();
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
};
