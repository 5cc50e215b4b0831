#pragma once
#include "pipeline/BitmapPtr.h"

// Stamps the text or picture watermark onto the image. Returns the bitmap to continue
// with; a null bitmap passes through.
BitmapPtr ApplyWatermark(BitmapPtr image, int width, int height);

// The font of the text watermark, made once per run by the driver from wmFont, wmFontSize,
// wmFontStyle and wmFontEffect before the worker starts. False when the family cannot be
// had (the driver then stops with "Error: Invalid watermark font").
[[nodiscard]] bool CreateWatermarkFont();
void ReleaseWatermarkFont();
