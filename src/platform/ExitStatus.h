#pragma once
// How a run of either program ends; it becomes the process exit status.
#include <csignal>

enum class ExitStatus : int {
  Done = 0,                    // converted (every file of a batch), or help, version, no arguments
  Stopped = 1,                 // "Conversion stopped"; in a batch, some file failed or was not converted
  Refused = 2,                 // the request was refused with an "Error: " line
  Interrupted = 128 + SIGINT,  // a batch stopped by Ctrl-C
};

constexpr int ExitCode(ExitStatus status) { return static_cast<int>(status); }
