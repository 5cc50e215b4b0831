#pragma once
// Size queries and depth conversions shared by the stages. Every conversion checks the
// size of its result against the limits first and releases the bitmap it started from.
#include "platform/BitmapPtr.h"

// 0 for a null bitmap, like FreeImage itself.
inline int WidthOf(const BitmapPtr& bitmap) { return static_cast<int>(FreeImage_GetWidth(bitmap.get())); }
inline int HeightOf(const BitmapPtr& bitmap) { return static_cast<int>(FreeImage_GetHeight(bitmap.get())); }
inline int BppOf(const BitmapPtr& bitmap) { return static_cast<int>(FreeImage_GetBPP(bitmap.get())); }

// The result of `convert`, or null when the bitmap is null, a result of `resultBpp` bits
// per pixel would exceed the limits, or FreeImage fails.
[[nodiscard]] BitmapPtr ConvertWithinLimits(BitmapPtr bitmap, int resultBpp, FIBITMAP* (*convert)(FIBITMAP*));

// `bitmap` as a 24-bit RGB bitmap: itself when it already has 24 bits per pixel, else its
// conversion.
[[nodiscard]] BitmapPtr ConvertToRgb24(BitmapPtr bitmap);

// Gives `to` the ICC profile of `from`, which FreeImage's turns leave behind. False when
// `from` has one that cannot be copied.
[[nodiscard]] bool CopyIccProfile(FIBITMAP* from, FIBITMAP* to);
