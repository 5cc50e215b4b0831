#pragma once
// A watched folder: pixquillbatch --watch DIR converts every RAW file that lands in DIR or
// below it, once the file is complete, until it is stopped. The files go to GNU parallel
// in waves, each a batch of the files completed since the last one began, with the
// batch's request check, naming, clash rules, job log and report.
#include <string>
#include <vector>

#include "batch/BatchOptions.h"
#include "cli/ArgumentScan.h"
#include "platform/ExitStatus.h"

// Runs the watch of `settings.watch` with the pixquillcmd options of `scan`; `paths` are
// the other inputs named, which a watch refuses. Done when every file was converted,
// Stopped when one failed or a stop cut one off, Refused for a refused request,
// Interrupted after Ctrl-C.
ExitStatus WatchFolder(const BatchSettingsRecord& settings, const ScanResult& scan,
                       const std::vector<std::string>& paths);
