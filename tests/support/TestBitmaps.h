#pragma once
// Small bitmaps made in code, pixel reads in top-down coordinates, and pixel comparisons
// with a stated tolerance.
#include <cstdint>
#include <string>

#include "pipeline/BitmapPtr.h"

enum class TestPattern {
  kQuadrants,  // top-left red, top-right green, bottom-left blue, bottom-right light grey
  kGradient,   // red rises left to right, green top to bottom, blue constant
  kMidGrey,    // every pixel (100, 100, 100)
};

struct Rgb8 {
  int red = 0;
  int green = 0;
  int blue = 0;
  int alpha = 255;
  bool operator==(const Rgb8&) const = default;
};

std::string ToString(const Rgb8& color);

// The pattern's colour at (x, y), y counted from the top.
Rgb8 PatternColor(TestPattern pattern, int width, int height, int x, int y);

// The grey level this helper stores for a colour in 1-, 4- and 8-bit bitmaps (Rec. 709 luma).
int GreyOf(const Rgb8& color);

// A bitmap of the pattern with 1, 4, 8 (grey palettes), 16 (5-6-5), 24, 32, 48 (RGB16) or
// 96 (RGBF) bits per pixel; null for other depths.
BitmapPtr MakeTestBitmap(int width, int height, int bpp, TestPattern pattern);

// The pixel at (x, y), y counted from the top, as 8-bit channels: palettes are looked up,
// 16-bit channels are shifted down, float channels are scaled by 255 and clamped.
Rgb8 PixelAt(FIBITMAP* bitmap, int x, int y);

// Empty when both bitmaps have the same size and every channel differs by at most
// `tolerance`; otherwise a description of the first difference.
std::string ComparePixels(FIBITMAP* actual, FIBITMAP* expected, int tolerance);

// Empty when every pixel is within `tolerance` of the pattern; otherwise the first miss.
// Pixels within `margin` of a quadrant edge or the border are not compared.
std::string CompareWithPattern(FIBITMAP* actual, TestPattern pattern, int tolerance, int margin = 0);

// The peak signal-to-noise ratio of two bitmaps of the same size over their 8-bit channels,
// in dB; infinity when they are equal, 0 when their sizes differ.
double PsnrOf(FIBITMAP* actual, FIBITMAP* expected);

// True when every channel of `a` is within `tolerance` of `b`.
bool Near(const Rgb8& a, const Rgb8& b, int tolerance);
