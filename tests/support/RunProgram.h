#pragma once
// Runs the real pixquillcmd binary (or any program) and captures what it printed.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct ProgramRun {
  int exitStatus = -1;             // -1 when the program did not exit normally
  int signal = 0;                  // the signal that ended it, 0 when it exited
  bool timedOut = false;           // killed after the time limit
  long peakKilobytes = 0;          // the program's peak resident memory
  std::vector<std::string> lines;  // standard output split at "\n"
  std::string stdoutText;
  std::string stderrText;
};

// Limits (when above 0) for the program's process. `unprivileged`: when the test runs as
// root, which passes every permission check, the program runs as user and group 65534.
struct ProcessSetup {
  int64_t addressSpaceBytes = 0;  // RLIMIT_AS
  int64_t fileSizeBytes = 0;      // RLIMIT_FSIZE
  int64_t processLimit = 0;       // RLIMIT_NPROC: processes and threads of its user
  bool unprivileged = false;
};

// Hands `path` to user 65534 when the test runs as root. False when that fails.
[[nodiscard]] bool HandToUnprivilegedUser(const std::string& path);

// Runs `program` with `args`; standard input is `input` (closed after it is written).
// `workingFolder` empty keeps the current one. The run is killed after `timeoutSeconds`.
// An address-space limit makes an allocation beyond it fail instead of exhausting the machine.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input = "",
                      const std::string& workingFolder = "", int timeoutSeconds = 120, const ProcessSetup& setup = {});

// The pixquillcmd binary of this build.
ProgramRun RunPixquill(const std::vector<std::string>& args, const std::string& input = "");

// The pixquillbatch binary of this build, and its path.
ProgramRun RunBatch(const std::vector<std::string>& args, const std::string& input = "",
                    const std::string& workingFolder = "");
std::string BatchBinary();
// The pixquillcmd binary of this build.
std::string PixquillBinary();
// The pixquillcmd binary started in `workingFolder`.
ProgramRun RunPixquillIn(const std::string& workingFolder, const std::vector<std::string>& args);

// The pixquillcmd binary under a time limit and, except in sanitizer builds (whose shadow
// memory needs a vast address space), an address-space limit.
ProgramRun RunPixquillWithin(const std::vector<std::string>& args, int timeoutSeconds, int64_t addressSpaceBytes);

// The same with any setup (no address-space limit in sanitizer builds).
ProgramRun RunPixquillWith(const std::vector<std::string>& args, const ProcessSetup& setup, int timeoutSeconds = 120);

// Starts pixquillcmd in the background in a process group of its own, output discarded,
// every stopping signal at its default action; the caller waits for it.
pid_t StartPixquill(const std::vector<std::string>& args);

// True in builds with AddressSanitizer, where address-space limits cannot be applied.
bool IsSanitizerBuild();

// The folder of the real camera samples; empty when it is absent (tests then skip).
std::string SamplesFolder();
