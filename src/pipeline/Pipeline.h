#pragma once
// The per-image pipeline: load, transform, frame, watermark, convert for saving, save.

// Converts ConversionJob.currentFile and sets ConversionJob.outputFile to the path written.
[[nodiscard]] bool ProcessImage();
