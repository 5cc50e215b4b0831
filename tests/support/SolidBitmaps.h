#pragma once
// One-colour bitmaps with any alpha, whole-bitmap pixel counts and a metadata marker, for
// the frame and watermark tests.
#include <cstdint>
#include <string>

#include "platform/BitmapPtr.h"
#include "support/TestBitmaps.h"

// A bitmap of `bpp` (8, 24 or 32) whose every pixel is `color`; an 8-bit bitmap has a grey
// palette and takes the red value.
BitmapPtr MakeSolidBitmap(int width, int height, int bpp, Rgb8 color);

// Number of pixels whose colour differs between two bitmaps of the same size.
int64_t CountDifferentPixels(FIBITMAP* a, FIBITMAP* b);

// One comment tag, so that a test can see whether metadata survived a stage.
void AddCommentTag(FIBITMAP* bitmap, const std::string& text);
bool HasCommentTag(FIBITMAP* bitmap);
