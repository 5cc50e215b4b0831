#pragma once
// The per-image pipeline: load, transform, frame, watermark, convert for saving, save.
#include <optional>

#include "pipeline/ImageRecords.h"

// Converts request.currentFile; empty when it could not be converted.
[[nodiscard]] std::optional<ImageResult> ProcessImage(const ImageRequest& request);
