#pragma once
// Output file naming: the name mask with its placeholder tokens, the output path, and the
// output file's time stamp.
#include <span>
#include <string>
#include <string_view>

#include "pipeline/ImageRecords.h"

// Token values can hold tokens again (a file named "%filename[u]%%filename[l]%.cr2"), so
// every expansion can multiply the length, and a few kilobytes of mask and file name could
// ask for gigabytes. No path is this long (the file system stops at 4096 bytes) and no
// watermark line this long fits a canvas, so an expansion that outgrows it is cut one byte
// beyond it: such a name still fails to save, and memory stays bounded.
inline constexpr size_t kMaxExpandedTextBytes = 64 * 1024;

// The 19 placeholder tokens, lower case, in expansion order.
std::span<const std::string_view> NamePlaceholders();

// Replaces every occurrence of `token` (letter case ignored, no overlap) by its value for
// the requested file and what its conversion gave so far; a token that is not in the table
// leaves `text` unchanged. A result longer than kMaxExpandedTextBytes is cut to one byte
// more than that.
std::string ExpandNameToken(const std::string& text, std::string_view token, const ImageRequest& request,
                            const ImageResult& result);

// The output file name (without folder) for the requested file.
std::string ExpandFilenameMask(const ImageRequest& request, const ImageResult& result);

// The same name as far as it is known before the file is converted: tokens whose values
// come from decoding, the clock or chance (%width%, %ss%, %rnd%...) stay in it as they are.
std::string ExpandFilenameMaskBeforeConversion(const ImageRequest& request);

// False for a name that would leave the output folder: one that begins with "/" or holds a
// ".." path component (a "/" may still reach a subfolder).
bool NameStaysInFolder(std::string_view name);

// Output folder + subfolder (when kept) + expanded name. Empty when the expanded name would
// leave the output folder: one that begins with "/" or holds a ".." path component. A
// shared profile's mask must not be able to replace files elsewhere.
std::string BuildOutputPath(const ImageRequest& request, const ImageResult& result);

// The text watermark's text with the same placeholders expanded; literal text keeps its
// case, and a text with fewer than two "%" is used as it is.
std::string ExpandWatermarkText(const ImageRequest& request, const ImageResult& result);

// Gives the output file the modification time that fileTimestamp asks for (ORIGINAL copies
// the input's); failures are ignored.
void ApplyFileTimestamp(const std::string& input, const std::string& output, const ConversionSettingsRecord& settings);
