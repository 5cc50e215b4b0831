#pragma once
// Small FreeImage bitmaps made in code for image tests, and pixel reads by top-down position.
#include <cstdint>
#include <string>

#include "pipeline/BitmapPtr.h"

struct Rgba {
  int red = 0, green = 0, blue = 0, alpha = 255;
};

// A bitmap of `bpp` (8, 24 or 32) whose every pixel is `color` (an 8-bit bitmap is grey,
// taking the red value).
BitmapPtr MakeSolidBitmap(int width, int height, int bpp, Rgba color);

// A 24-bit bitmap whose pixels differ from their neighbours: red follows x, green follows y,
// blue mixes both, so a pixel that moved or changed is noticed.
BitmapPtr MakePatternBitmap(int width, int height);

// The pixel at column x, row y counted from the top (8-bit bitmaps read as grey, alpha 255
// unless the bitmap has 32 bits).
Rgba PixelAt(FIBITMAP* bitmap, int x, int y);

// True when every channel differs by at most `tolerance`.
bool NearlyEqual(Rgba a, Rgba b, int tolerance);

// "(r,g,b,a)" for failure messages.
std::string Describe(Rgba color);

// Number of pixels that differ between two bitmaps of the same size (colour channels only).
int64_t CountDifferentPixels(FIBITMAP* a, FIBITMAP* b);

// Adds one comment tag, so that a test can see whether metadata survived.
void AddCommentTag(FIBITMAP* bitmap, const std::string& text);
bool HasCommentTag(FIBITMAP* bitmap);
