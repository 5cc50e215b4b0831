#pragma once
// Runs the real pixquillcmd binary (or any program) and captures what it printed.
#include <string>
#include <vector>

struct ProgramRun {
  int exitStatus = -1;               // -1 when the program did not exit normally
  std::vector<std::string> lines;    // standard output split at "\n"
  std::string stdoutText;
  std::string stderrText;
};

// Runs `program` with `args`; standard input is `input` (closed after it is written).
// `workingFolder` empty keeps the current one. The run is killed after `timeoutSeconds`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input = "", const std::string& workingFolder = "",
                      int timeoutSeconds = 120);

// The pixquillcmd binary of this build.
ProgramRun RunPixquill(const std::vector<std::string>& args, const std::string& input = "");

// The folder of the real camera samples; empty when it is absent (tests then skip).
std::string SamplesFolder();
