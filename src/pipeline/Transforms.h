#pragma once
// The transform stages between loading and framing. Each takes the working bitmap and
// returns the one to continue with; a null bitmap passes through, and a bitmap that a stage
// replaces is released by that stage.
#include <FreeImage.h>

#include <cstdint>
#include <optional>

#include "pipeline/ImageSize.h"
#include "platform/BitmapPtr.h"
#include "settings/ConversionSettings.h"

// Maps the 48-bit RAW loads ("48HS", "48") to 24 bits by rawToneMapping; every other load
// and NONE pass through unchanged. Null when the operator's working memory would exceed the
// limits (see ToneMappingFitsLimits) or an allocation inside the operator failed.
[[nodiscard]] BitmapPtr ApplyToneMapping(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// False when tone mapping code `toneMapping` on an image of this size would go beyond the
// limits: AL and DRR work on a 96-bit float copy, so they stop at about 89 megapixels; GD
// needs the working-memory budget for its Poisson grid and planes, which admits 27
// megapixels up to a longer side of 8192 and refuses every image with a longer side.
[[nodiscard]] bool ToneMappingFitsLimits(int64_t width, int64_t height, int32_t toneMapping);

// Turns by `rotation` degrees when doRotation is set and 0 < rotation < 360: SIMPLE grows
// the canvas and fills the corners with rotationBackColor, ADVANCED turns about the centre
// within the same canvas. Depths of 16 bits and less or above 32 are made 24-bit first.
[[nodiscard]] BitmapPtr ApplyRotation(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// The size the resize settings make of a `from` image. None when they leave it as it is: no
// resize, a target of zero or less, the same size, or (LARGEIMAGES) an image smaller than the
// target in both directions.
[[nodiscard]] std::optional<TargetSize> ResizeTarget(ImageSize from, const ConversionSettingsRecord& settings);

// Rescales the bitmap to `target` with the filter of the settings; none leaves it unchanged,
// and a target beyond the image limits fails (null).
[[nodiscard]] BitmapPtr ApplyResize(BitmapPtr bitmap, std::optional<TargetSize> target,
                                    const ConversionSettingsRecord& settings);

// When a decoder may hand over a 24-bit image smaller than its `full` size, because the
// resize settings will shrink it to at most half both ways anyway: the resize's target,
// worked out from the full size and handed on with the smaller image, and the smallest size
// the decoder may give. Only pixel values change: the smallest size keeps half again of the
// target, which keeps the result close to the full-size route on camera photos where the
// target itself did not (bench/RESULTS.md, shrink-on-load). None when the image is needed at
// full size: no resize follows, a rotation comes first (the size it resizes is not known
// before decoding), or the filter is BOX, whose result from a reduced image differs visibly.
struct ReducedDecode {
  TargetSize target;
  ImageSize smallest;
};
[[nodiscard]] std::optional<ReducedDecode> ReducedDecodeForResize(ImageSize full,
                                                                  const ConversionSettingsRecord& settings);

// A decode that may hand over a smaller image for the resize of `settings` that follows;
// `target` then gets the resize's target, worked out from the full size.
struct ShrinkForResize {
  const ConversionSettingsRecord& settings;
  std::optional<TargetSize> target;
};

// One target side from a setting: PIXELS is the value itself, PERCENT is value / 100 of
// `current` rounded to the nearest integer with halves to even; any other unit gives 0.
// Results beyond the int32 range saturate.
[[nodiscard]] int32_t ResizeDimension(int32_t value, int8_t unit, int32_t current);

// The FreeImage filter of resizeAlgorithm (BICUBIC for unknown codes).
[[nodiscard]] FREE_IMAGE_FILTER ResizeFilter(const ConversionSettingsRecord& settings);

// Mirrors left-right (flipHorizontal), then top-bottom (flipVertical), in place.
[[nodiscard]] BitmapPtr ApplyFlips(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// Brightness, contrast, gamma and inversion, all four in one adjustment.
[[nodiscard]] BitmapPtr ApplyColorAdjustment(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// An 8-bit grey bitmap when greyscale is set.
[[nodiscard]] BitmapPtr ApplyGreyscale(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// A 1-bit bitmap, split at the low 8 bits of `threshold`, when doThreshold is set.
[[nodiscard]] BitmapPtr ApplyThreshold(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// A 1-bit bitmap dithered with DitherAlgorithm(), when doDither is set.
[[nodiscard]] BitmapPtr ApplyDither(BitmapPtr bitmap, const ConversionSettingsRecord& settings);

// The FreeImage dither of the `dither` setting (Floyd-Steinberg for unknown codes).
[[nodiscard]] FREE_IMAGE_DITHER DitherAlgorithm(const ConversionSettingsRecord& settings);
