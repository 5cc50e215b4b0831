#include "pipeline/Frames.h"

// The frame is not drawn yet: the stage hands the bitmap on unchanged until the drawing
// layer is connected.
BitmapPtr ApplySolidFrame(BitmapPtr image, int, int) { return image; }
