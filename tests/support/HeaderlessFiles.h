#pragma once
// Headerless pixel files: rows of 8-bit grey or 16-bit RGB 5-6-5 (little-endian) pixels,
// top row first, with an optional header of filler bytes before them.
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestBitmaps.h"

// `bpp` is 8 or 16. The pattern is laid out over width x height pixels.
std::vector<uint8_t> HeaderlessPixels(int width, int height, int bpp, TestPattern pattern);

// The colour a 5-6-5 pixel of `color` decodes to (the low bits are lost).
Rgb8 Through565(const Rgb8& color);

void WriteHeaderlessFile(const std::string& path, int width, int height, int bpp, TestPattern pattern,
                         int headerBytes = 0);
