#pragma once
// A watched folder: pixquillbatch --watch DIR converts every RAW file that lands in DIR or
// below it, once the file is complete, until it is stopped. The files go to GNU parallel
// in waves, each a batch of the files completed since the last one began, with the
// batch's request check, naming, clash rules, job log and report.
#include <string>
#include <vector>

#include "batch/BatchOptions.h"
#include "cli/ArgumentScan.h"

// Runs the watch of `settings.watch` with the pixquillcmd options of `scan`; `paths` are
// the other inputs named, which a watch refuses. Returns the exit status: 0 when every
// file was converted, 1 when one failed or a stop cut one off, 2 for a refused request,
// 130 after Ctrl-C.
int WatchFolder(const BatchSettingsRecord& settings, const ScanResult& scan, const std::vector<std::string>& paths);
