#pragma once
// The watermark stage: a text or a picture, drawn as an overlay, turned, cut to fit and laid
// on the image at its anchor, last before the conversion for saving; and the run's one font
// for the text watermark.
#include <cstdint>
#include <string>

#include "platform/BitmapPtr.h"
#include "settings/ConversionSettings.h"

// Stamps the text or picture watermark onto the image; a text watermark writes `text` (the
// configured text with its placeholders expanded). Returns the bitmap to continue
// with; a null bitmap passes through. Null when the watermark picture was read but cannot be
// drawn (too large, out of memory); a file that is not a BMP, JPEG or PNG picture leaves the
// image without a watermark.
[[nodiscard]] BitmapPtr ApplyWatermark(BitmapPtr image, int width, int height, const std::string& text,
                                       const ConversionSettingsRecord& settings);

// The font of the text watermark, made once per run by the driver from wmFont, wmFontSize,
// wmFontStyle and wmFontEffect before the worker starts. False when the family cannot be
// had (the driver then stops with "Error: Invalid watermark font").
[[nodiscard]] bool CreateWatermarkFont(const ConversionSettingsRecord& settings);
void ReleaseWatermarkFont();

// The pieces of the stage, for the watermark that doWatermark selects (kWatermarkText or
// kWatermarkImage).

// Left edge of a text line of `lineWidth` in a box of `boxWidth`, by wmTextAlignment.
int LineX(int lineWidth, int boxWidth, const ConversionSettingsRecord& settings);

// The overlay turned by the watermark's rotation when it is 1..359 degrees (counter-
// clockwise, uncovered corners transparent); otherwise unchanged.
[[nodiscard]] BitmapPtr RotateWatermark(BitmapPtr overlay, const ConversionSettingsRecord& settings);

// Cuts the overlay on its right and bottom so that it ends before the reference area does,
// less the offsets; null when nothing would remain.
[[nodiscard]] BitmapPtr CropWatermarkToFit(BitmapPtr overlay, int width, int height, int overlayWidth,
                                           int overlayHeight, const ConversionSettingsRecord& settings);

struct WatermarkPosition {
  int64_t x = 0;
  int64_t y = 0;
};

// Top-left corner of an overlay of ow × oh in an image of width × height, by the anchor,
// offsets and boundary of the watermark.
WatermarkPosition PlaceWatermark(int width, int height, int overlayWidth, int overlayHeight,
                                 const ConversionSettingsRecord& settings);

// (77·red + 150·green + 29·blue) >> 8 in all three channels; alpha kept. Pixels are packed
// red in bits 0-7 up to alpha in bits 24-31.
uint32_t GreyFilter(uint32_t rgba);
