#pragma once
// The frame stage: a solid border of four sides, each with its own width and colour, mitred
// at the corners and laid with one opacity inside the image, after the transforms and
// before the watermark.
#include "platform/BitmapPtr.h"
#include "settings/ConversionSettings.h"

// Paints the solid frame inside the image (the canvas does not grow). Returns the bitmap to
// continue with; a null bitmap passes through.
[[nodiscard]] BitmapPtr ApplySolidFrame(BitmapPtr image, int width, int height,
                                        const ConversionSettingsRecord& settings);
