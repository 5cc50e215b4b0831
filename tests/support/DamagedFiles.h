#pragma once
// Inputs made hostile on purpose: files whose headers state absurd sizes, and byte-level
// damage (truncation, flipped bytes) of good files.
#include <cstdint>
#include <string>
#include <vector>

// A small baseline JPEG of `width` x `height` mid-grey pixels.
std::vector<uint8_t> SmallJpeg(int width, int height);

// Rewrites the frame size of the first JPEG frame header (SOF0..SOF2) found in `bytes`;
// false when there is none. The pixel data stays as it was, so the file claims far more
// pixels than it holds.
bool SetJpegFrameSize(std::vector<uint8_t>& bytes, int width, int height);

// Rewrites ImageWidth and ImageLength in every directory of a little-endian TIFF/DNG file
// (the first directory, its chain and its sub-directories); false when none was found.
bool SetTiffImageSize(std::vector<uint8_t>& bytes, uint32_t width, uint32_t height);

// The length of the first directory's strip (StripByteCounts, a LONG as the DNG writer puts
// it): the preview's, in a DNG with a preview. 0 when there is none.
uint32_t PreviewLength(const std::vector<uint8_t>& bytes);

// Sets that length, so that the preview is cut short or reaches past the end of the file
// while the mosaic stays whole; false when there is none.
bool SetPreviewLength(std::vector<uint8_t>& bytes, uint32_t length);

// The first `length` bytes.
std::vector<uint8_t> Truncated(const std::vector<uint8_t>& bytes, size_t length);

// Every byte from `from` to `to` (exclusive, clamped to the size) inverted.
std::vector<uint8_t> Inverted(const std::vector<uint8_t>& bytes, size_t from, size_t to);
