#pragma once
#include "pipeline/BitmapPtr.h"

// Stamps the text or picture watermark onto the image. Returns the bitmap to continue
// with; a null bitmap passes through.
BitmapPtr ApplyWatermark(BitmapPtr image, int width, int height);
