#pragma once
// Output file naming: the name mask with its placeholder tokens, the output path, and the
// output file's time stamp.
#include <span>
#include <string>
#include <string_view>

// Token values can hold tokens again (a file named "%filename[u]%%filename[l]%.cr2"), so
// every expansion can multiply the length, and a few kilobytes of mask and file name could
// ask for gigabytes. No path is this long (the file system stops at 4096 bytes) and no
// watermark line this long fits a canvas, so an expansion that outgrows it is cut one byte
// beyond it: such a name still fails to save, and memory stays bounded.
inline constexpr size_t kMaxExpandedTextBytes = 64 * 1024;

// The 19 placeholder tokens, lower case, in expansion order.
std::span<const std::string_view> NamePlaceholders();

// Replaces every occurrence of `token` (letter case ignored, no overlap) by its value for
// the current file; a token that is not in the table leaves `text` unchanged. A result
// longer than kMaxExpandedTextBytes is cut to one byte more than that.
std::string ExpandNameToken(const std::string& text, std::string_view token);

// The output file name (without folder) for the current file.
std::string ExpandFilenameMask();

// The same name as far as it is known before the file is converted: tokens whose values
// come from decoding, the clock or chance (%width%, %ss%, %rnd%...) stay in it as they are.
std::string ExpandFilenameMaskBeforeConversion();

// Output folder + subfolder (when kept) + expanded name. Empty when the expanded name would
// leave the output folder: one that begins with "/" or holds a ".." path component. A
// shared profile's mask must not be able to replace files elsewhere.
std::string BuildOutputPath();

// The text watermark's text with the same placeholders expanded; literal text keeps its
// case, and a text with fewer than two "%" is used as it is.
std::string ExpandWatermarkText();

// Gives the output file the modification time that fileTimestamp asks for; failures are
// ignored.
void ApplyFileTimestamp();
