#pragma once
// The scan of the command line: every argument in order, each applied through the option
// table the moment it is met, so the last writer of a setting wins.
#include <cstddef>
#include <string>
#include <vector>

// Message texts of a refused command line (printed after "Error: ").
inline constexpr const char* kIncorrectParameterCount = "Incorrect number of parameters";
inline constexpr const char* kInvalidProfileFile = "Invalid profile file";

struct OptionRow;

// An option the scan applied: the row and the arguments it took, `first` to `last`.
struct ScannedOption {
  size_t first = 0;
  size_t last = 0;
  const OptionRow* row = nullptr;
};

struct ScanResult {
  std::vector<std::string> arguments;  // the arguments scanned
  std::string errorMessage;            // empty when every argument was accepted
  bool quiet = false;
  bool pause = false;                  // when the scan stopped, whether -p came before the failing argument
  std::vector<ScannedOption> options;  // in command-line order; arguments outside them were skipped
};

// Scans `arguments`. Arguments whose name matches no option are skipped; the first
// malformed one stops the scan, and nothing of it is stored.
[[nodiscard]] ScanResult ScanArguments(const std::vector<std::string>& arguments);

// Scans CommandLine.
[[nodiscard]] ScanResult ScanArguments();
