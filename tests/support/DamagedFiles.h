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

// The first `length` bytes.
std::vector<uint8_t> Truncated(const std::vector<uint8_t>& bytes, size_t length);

// Every byte from `from` to `to` (exclusive, clamped to the size) inverted.
std::vector<uint8_t> Inverted(const std::vector<uint8_t>& bytes, size_t from, size_t to);
