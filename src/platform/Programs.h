#pragma once
// Starting another program with its output in pipes, and waiting for it.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

struct StartedProgram {
  pid_t pid = -1;
  UniqueFd output;  // the program's standard output
  UniqueFd errors;  // its standard error
};

// Starts `args[0]`, looked up in PATH, with `args` and this process's environment plus the
// "NAME=value" entries of `environment`. Its standard input is `inputFd`, its standard
// output and error go into pipes. It runs in a process group of its own, so that the
// terminal's signals (Ctrl-C, a closed terminal) reach only the caller, which decides what
// the program gets; and it receives `deathSignal` when the caller ends, so a killed caller
// leaves nothing running. Nothing when the program cannot be started.
std::optional<StartedProgram> StartProgram(const std::vector<std::string>& args,
                                           const std::vector<std::string>& environment, int inputFd, int deathSignal);

// Waits for the program to end: its exit status, or 128 plus the signal that ended it.
int WaitForProgram(pid_t pid);
