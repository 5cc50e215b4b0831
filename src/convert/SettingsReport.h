#pragma once
// The settings report of debug mode and the range checks that run in every mode. Each
// block is a declared table of lines; a line may carry a check that stops the run.
#include <optional>
#include <string>

// Prints the load-options block chosen by the source format key (debug lines only).
void ReportLoadOptions(const std::string& sourceFormat, bool debug);

// Prints the save-options block of the output extension and runs its checks (bit depth,
// quality). Returns the error message of the first failed check.
std::optional<std::string> ReportSaveOptions(const std::string& extension, bool debug);

// Transform, frame and watermark-kind blocks with their checks.
std::optional<std::string> ReportTransforms(bool debug);
void ReportFrame(bool debug);
void ReportWatermarkKind(bool debug);

// The text and picture watermark blocks (lines only; the driver makes its own checks).
void ReportTextWatermark(bool debug);
void ReportImageWatermark(bool debug);

// File mask, time stamp and subfolder lines.
void ReportNaming(bool debug);
