#pragma once
// Decodes the whole camera image with LibRaw directly (RawDevelopment.h), into the bitmap
// FreeImage's RAW plug-in makes of it: the same pixels, orientation, ICC profile, metadata
// and resolution, with LibRaw's own buffer as the bitmap's pixels instead of a copy.
#include "pipeline/RawDevelopment.h"
#include "platform/BitmapPtr.h"

// bitsPerSample 8 gives the plug-in's RAW_DISPLAY bitmap (24-bit, BT.709 curve), 16 its
// RAW_DEFAULT one (48-bit, linear; RAW_HALFSIZE when the development was opened at half
// size). previewMetadata copies the embedded preview's metadata, as the plug-in does for
// every load but RAW_PREVIEW. Null when LibRaw fails, as the plug-in's load would.
[[nodiscard]] BitmapPtr DecodeFullImage(RawDevelopmentPtr development, int bitsPerSample, bool previewMetadata);
