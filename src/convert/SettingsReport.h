#pragma once
// The request checks that run in every mode (bit depth, quality, transform ranges), and the
// settings report of debug mode printed beside them. Each block is a declared table of
// lines; a line may carry a check that stops the run.
#include <optional>
#include <string>

// Prints the load-options block chosen by the source format key (debug lines only).
void ReportLoadOptions(const std::string& sourceFormat, bool debug);

// Checks the save options of the output extension (bit depth, quality), printing their
// block in debug mode. Returns the error message of the first failed check.
[[nodiscard]] std::optional<std::string> CheckSaveOptions(const std::string& extension, bool debug);

// Checks the transform settings (sizes, ranges), printing their block in debug mode.
[[nodiscard]] std::optional<std::string> CheckTransforms(bool debug);

// Frame and watermark-kind blocks.
void ReportFrame(bool debug);
void ReportWatermarkKind(bool debug);

// The text and picture watermark blocks (lines only; the driver makes its own checks).
void ReportTextWatermark(bool debug);
void ReportImageWatermark(bool debug);

// File mask, time stamp and subfolder lines.
void ReportNaming(bool debug);
