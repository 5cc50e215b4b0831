#include "pipeline/Watermarks.h"

// The watermark is not drawn yet: the stage hands the bitmap on unchanged until the drawing
// layer is connected.
BitmapPtr ApplyWatermark(BitmapPtr image, int, int) { return image; }
