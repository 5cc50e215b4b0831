#pragma once
// Runs the real pixquillcmd binary (or any program) and captures what it printed.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct ProgramRun {
  int exitStatus = -1;               // -1 when the program did not exit normally
  int signal = 0;                    // the signal that ended it, 0 when it exited
  bool timedOut = false;             // killed after the time limit
  long peakKilobytes = 0;            // the program's peak resident memory
  std::vector<std::string> lines;    // standard output split at "\n"
  std::string stdoutText;
  std::string stderrText;
};

// How the program's process is set up before it starts.
struct ProcessSetup {
  int64_t addressSpaceBytes = 0;  // RLIMIT_AS, when above 0
  int64_t fileSizeBytes = 0;      // RLIMIT_FSIZE, when above 0
  int64_t processLimit = 0;       // RLIMIT_NPROC, when above 0: processes and threads of its user
  // When the test runs as root, the program runs as user and group kUnprivilegedId, so that
  // permission bits hold for it (root passes every permission check).
  bool unprivileged = false;
};

inline constexpr unsigned kUnprivilegedId = 65534;

// Hands `path` to kUnprivilegedId when the test runs as root, so that an unprivileged run
// may use it as its owner would. False when that fails.
[[nodiscard]] bool HandToUnprivilegedUser(const std::string& path);

// Runs `program` with `args`; standard input is `input` (closed after it is written).
// `workingFolder` empty keeps the current one. The run is killed after `timeoutSeconds`.
// A non-zero `addressSpaceBytes` limits the program's address space (RLIMIT_AS), so that
// an allocation beyond it fails instead of exhausting the machine.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input = "", const std::string& workingFolder = "",
                      int timeoutSeconds = 120, int64_t addressSpaceBytes = 0);

ProgramRun RunProgramWith(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, const std::string& workingFolder, int timeoutSeconds,
                          const ProcessSetup& setup);

// The pixquillcmd binary of this build.
ProgramRun RunPixquill(const std::vector<std::string>& args, const std::string& input = "");

// The pixquillcmd binary under a time limit and, except in sanitizer builds (whose shadow
// memory needs a vast address space), an address-space limit.
ProgramRun RunPixquillWithin(const std::vector<std::string>& args, int timeoutSeconds, int64_t addressSpaceBytes);

// The pixquillcmd binary set up as `setup` says (no address-space limit in sanitizer builds).
ProgramRun RunPixquillWith(const std::vector<std::string>& args, const ProcessSetup& setup, int timeoutSeconds = 120);

// Starts the pixquillcmd binary in the background, in a process group of its own, with its
// output discarded and the default action for every signal it may be sent; the caller
// waits for it. -1 when it cannot be started.
pid_t StartPixquill(const std::vector<std::string>& args);

// True in builds with AddressSanitizer, where address-space limits cannot be applied.
bool IsSanitizerBuild();

// The folder of the real camera samples; empty when it is absent (tests then skip).
std::string SamplesFolder();
