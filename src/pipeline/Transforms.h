#pragma once
// The transform stages between loading and framing. Each takes the working bitmap and
// returns the one to continue with; a null bitmap passes through, and a bitmap that a stage
// replaces is released by that stage.
#include <FreeImage.h>

#include <cstdint>

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

// Rescales a `width` x `height` bitmap to the target of the resize settings. A target of
// zero or less, the same size, or (LARGEIMAGES) an image smaller than the target in both
// directions leave it unchanged; a target beyond the image limits fails (null).
[[nodiscard]] BitmapPtr ApplyResize(BitmapPtr bitmap, int width, int height, const ConversionSettingsRecord& settings);

// The smallest size at which a decoder may hand over a 24-bit `width` x `height` image
// instead of its full size, because the resize settings will shrink it to at most half both
// ways anyway. The resize and every size rule are still computed from the full size, so only
// pixel values change: the smallest size keeps half again of the resize's target, which
// keeps the result close to the full-size route on camera photos where the target itself
// did not (bench/RESULTS.md, shrink-on-load). False when the image is needed at full size:
// no resize follows, a rotation comes first (the size it resizes is not known before
// decoding), or the filter is BOX, whose result from a reduced image differs visibly.
// A decode that may hand over a smaller image for the resize of `settings` that follows;
// `reducedFrom` then gets the full size from which the resize and every size rule are
// computed (zero: the image has its full size).
struct ShrinkForResize {
  const ConversionSettingsRecord& settings;
  ImageSize reducedFrom;
};

[[nodiscard]] bool SmallestDecodeForResize(int width, int height, ImageSize& smallest,
                                           const ConversionSettingsRecord& settings);

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
