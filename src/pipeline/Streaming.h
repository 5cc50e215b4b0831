#pragma once
// The default conversion without the picture in memory: when no stage needs the whole
// image, the camera file's JPEG preview is decoded a band of rows at a time, each band
// going straight to the JPEG encoder. The output is the file the whole-image path writes,
// byte for byte, from a few bands of memory instead of a full-size bitmap.
#include <optional>

#include "pipeline/ImageRecords.h"

// Converts the requested file as ProcessImage does, and fills the same result fields.
// Empty when the conversion cannot be streamed: a stage or the output needs the whole
// image, the file's preview is not one the direct decoder takes as it stands, or the decoder
// failed on the way (the file written so far is then dropped). The whole-image path then
// converts the file or reports why it cannot.
[[nodiscard]] std::optional<bool> ConvertByStreaming(const ImageRequest& request, ImageResult& result);
