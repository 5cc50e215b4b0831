#pragma once
// Output file naming: the name mask with its placeholder tokens, the output path, and the
// output file's time stamp.
#include <span>
#include <string>
#include <string_view>

// The 19 placeholder tokens, lower case, in expansion order.
std::span<const std::string_view> NamePlaceholders();

// Replaces every occurrence of `token` (letter case ignored, no overlap) by its value for
// the current file; a token that is not in the table leaves `text` unchanged.
std::string ExpandNameToken(const std::string& text, std::string_view token);

// The output file name (without folder) for the current file.
std::string ExpandFilenameMask();

// Output folder + subfolder (when kept) + expanded name.
std::string BuildOutputPath();

// The text watermark's text with the same placeholders expanded; literal text keeps its
// case, and a text with fewer than two "%" is used as it is.
std::string ExpandWatermarkText();

// Gives the output file the modification time that fileTimestamp asks for; failures are
// ignored.
void ApplyFileTimestamp();
