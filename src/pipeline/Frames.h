#pragma once
#include "platform/BitmapPtr.h"

// Paints the solid frame inside the image (the canvas does not grow). Returns the bitmap to
// continue with; a null bitmap passes through.
BitmapPtr ApplySolidFrame(BitmapPtr image, int width, int height);
