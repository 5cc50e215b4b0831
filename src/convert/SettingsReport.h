#pragma once
// The settings report of debug mode, block by block in the order the request checks
// (convert/RequestChecks.h) reach them; it prints and checks nothing. Each block is a
// declared table of lines. Without debug mode nothing is printed.
#include <string>
#include <string_view>

// Prints the load-options block chosen by the source format key.
void ReportLoadOptions(const std::string& sourceFormat, bool debug);

// The save options of the output extension: its depth line first, then its block; nothing
// for an extension without a depth setting.
void ReportSaveOptions(const std::string& extension, bool debug);

// The transform settings of the enabled steps, up to the line labelled `lastLine` (such as
// "Height: ", where a check failed) or all of them when it is empty.
void ReportTransforms(bool debug, std::string_view lastLine = {});

// Frame and watermark-kind blocks.
void ReportFrame(bool debug);
void ReportWatermarkKind(bool debug);

// The text and picture watermark blocks (lines only; the driver makes its own checks).
void ReportTextWatermark(bool debug);
void ReportImageWatermark(bool debug);

// File mask, time stamp and subfolder lines.
void ReportNaming(bool debug);
