#include "pipeline/Transforms.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Colors.h"
#include "pipeline/Limits.h"
#include "settings/ConversionSettings.h"

namespace {

struct FilterRow {
  int8_t code;
  FREE_IMAGE_FILTER filter;
};

const FilterRow kResizeFilters[] = {
    {kResizeBox, FILTER_BOX},         {kResizeBilinear, FILTER_BILINEAR},     {kResizeBspline, FILTER_BSPLINE},
    {kResizeBicubic, FILTER_BICUBIC}, {kResizeCatmullRom, FILTER_CATMULLROM}, {kResizeLanczos, FILTER_LANCZOS3},
};

struct DitherRow {
  int8_t code;
  FREE_IMAGE_DITHER dither;
};

const DitherRow kDitherAlgorithms[] = {
    {kDitherFs, FID_FS},
    {kDitherBayer4, FID_BAYER4x4},
    {kDitherBayer8, FID_BAYER8x8},
    {kDitherBayer16, FID_BAYER16x16},
    {kDitherCluster6, FID_CLUSTER6x6},
    {kDitherCluster8, FID_CLUSTER8x8},
    {kDitherCluster16, FID_CLUSTER16x16},
};

// A turn by an angle that is not a multiple of 90 degrees is done by FreeImage as a quarter
// turn plus three shears; the largest of those bitmaps is about (w + h tan(a/2)) x
// (w sin a + h cos a) for the residual angle a of at most 45 degrees.
bool RotationFitsLimits(int width, int height, int bpp, int degrees) {
  const int quarterTurns = (degrees + 45) / 90;
  if (quarterTurns % 2 == 1) std::swap(width, height);
  const double residual = (degrees - 90.0 * quarterTurns) * std::numbers::pi / 180.0;
  const double sheared = width + height * std::fabs(std::tan(residual / 2)) + 1;
  const double tall = width * std::fabs(std::sin(residual)) + height * std::cos(residual) + 2;
  return FitsImageBytes(static_cast<int64_t>(std::ceil(sheared)), static_cast<int64_t>(std::ceil(tall)), bpp);
}

BitmapPtr RotateSimple(BitmapPtr bitmap, int degrees, const ConversionSettingsRecord& s) {
  if (!RotationFitsLimits(WidthOf(bitmap), HeightOf(bitmap), BppOf(bitmap), degrees)) return nullptr;
  const uint32_t color = ParseHexColor(s.rotationBackColor);
  const RGBQUAD background{BlueOf(color), GreenOf(color), RedOf(color), 0};
  return AdoptBitmap(FreeImage_Rotate(bitmap.get(), degrees, &background));
}

BitmapPtr RotateAboutCentre(BitmapPtr bitmap, int degrees, int width, int height) {
  return AdoptBitmap(FreeImage_RotateEx(bitmap.get(), degrees, 0.0, 0.0, width / 2.0, height / 2.0, FALSE));
}

// Only the longer side's target counts; the other side follows the proportions, rounded
// to the nearest pixel with halves away from zero.
TargetSize KeepAspectSize(int width, int height, int32_t targetWidth, int32_t targetHeight) {
  if (width >= height) {
    const float ratio = static_cast<float>(width) / static_cast<float>(height);
    return {targetWidth, static_cast<int64_t>(std::round(targetWidth / static_cast<double>(ratio)))};
  }
  const float ratio = static_cast<float>(height) / static_cast<float>(width);
  return {static_cast<int64_t>(std::round(targetHeight / static_cast<double>(ratio))), targetHeight};
}

// FreeImage rescales palette and 16-bit images through 24 bits, and filters one direction
// first, keeping a bitmap of one new and one old side in between.
bool ResizeFitsLimits(int width, int height, int bpp, TargetSize target) {
  const int resultBpp = std::max(bpp, 24);
  const int64_t between = std::min(target.width * height, width * target.height);
  return FitsImageLimits(target.width, target.height, resultBpp) && FitsImageBytes(between, 1, resultBpp);
}

bool ResizeWanted(int width, int height, int32_t targetWidth, int32_t targetHeight, const ConversionSettingsRecord& s) {
  if (targetWidth <= 0 || targetHeight <= 0) return false;
  if (width == targetWidth && height == targetHeight) return false;
  // LARGEIMAGES: an image that reaches the target in at least one direction is resized.
  if (s.resizeType == kResizeLargeImages && width < targetWidth && height < targetHeight) return false;
  return true;
}

bool RotationWanted(const ConversionSettingsRecord& s) { return s.doRotation && s.rotation > 0 && s.rotation < 360; }

// Depths FreeImage's threshold and dither do not take are made 24-bit first.
BitmapPtr WithBinarisableDepth(BitmapPtr bitmap) {
  const int bpp = BppOf(bitmap);
  return bpp < 4 || bpp > 32 ? ConvertToRgb24(std::move(bitmap)) : std::move(bitmap);
}

// ---- tone mapping ----

bool Result24Fits(int64_t width, int64_t height) { return FitsImageBytes(width, height, 24); }

// AL and DRR work on a 96-bit float copy of the image, twice the size of the 48-bit input.
bool FloatCopyFits(int64_t width, int64_t height) { return FitsImageBytes(width, height, 96); }

// GD's Gaussian pyramid has a level for each halving of the shorter side down to 32 pixels; on
// a shorter side below 32 it has none, and FreeImage then reads a level it never made.
bool GradientDomainFits(int64_t width, int64_t height) {
  return std::min(width, height) >= 32 && GradientDomainToneMappingBytes(width, height) <= kMaxWorkingBytes;
}

struct ToneMapper {
  int32_t code;
  FIBITMAP* (*map)(FIBITMAP*);
  bool (*fits)(int64_t width, int64_t height);  // the operator's working memory stays within the limits
};

// NONE and unknown codes leave the bitmap as loaded.
const ToneMapper kToneMappers[] = {
    {kToneMapLinear, [](FIBITMAP* b) { return FreeImage_ConvertTo24Bits(b); }, Result24Fits},
    {kToneMapAl, [](FIBITMAP* b) { return FreeImage_TmoDrago03(b, 2.2, 0.0); }, FloatCopyFits},
    {kToneMapDrr, [](FIBITMAP* b) { return FreeImage_TmoReinhard05(b, 0.0, 0.0); }, FloatCopyFits},
    {kToneMapGd, [](FIBITMAP* b) { return FreeImage_TmoFattal02(b, 0.5, 0.85); }, GradientDomainFits},
};

const ToneMapper* FindToneMapper(int32_t code) {
  for (const ToneMapper& mapper : kToneMappers)
    if (mapper.code == code) return &mapper;
  return nullptr;
}

}  // namespace

BitmapPtr ApplyRotation(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap || !RotationWanted(s)) return bitmap;
  const int width = WidthOf(bitmap);
  const int height = HeightOf(bitmap);
  const int bpp = BppOf(bitmap);
  if (bpp <= 16 || bpp > 32) bitmap = ConvertToRgb24(std::move(bitmap));
  if (!bitmap) return bitmap;
  if (s.rotationType == kRotateSimple) return RotateSimple(std::move(bitmap), s.rotation, s);
  if (s.rotationType == kRotateAdvanced) return RotateAboutCentre(std::move(bitmap), s.rotation, width, height);
  return bitmap;
}

std::optional<TargetSize> ResizeTarget(ImageSize from, const ConversionSettingsRecord& s) {
  if (!s.doResize) return std::nullopt;
  const int32_t targetWidth = ResizeDimension(s.width, s.widthUnit, from.width);
  const int32_t targetHeight = ResizeDimension(s.height, s.heightUnit, from.height);
  if (!ResizeWanted(from.width, from.height, targetWidth, targetHeight, s)) return std::nullopt;
  if (!s.keepAspectRatio) return TargetSize{targetWidth, targetHeight};
  return KeepAspectSize(from.width, from.height, targetWidth, targetHeight);
}

BitmapPtr ApplyResize(BitmapPtr bitmap, std::optional<TargetSize> target, const ConversionSettingsRecord& s) {
  if (!bitmap || !target) return bitmap;
  if (!ResizeFitsLimits(WidthOf(bitmap), HeightOf(bitmap), BppOf(bitmap), *target)) return nullptr;
  return AdoptBitmap(FreeImage_Rescale(bitmap.get(), static_cast<int>(target->width), static_cast<int>(target->height),
                                       ResizeFilter(s)));
}

std::optional<ReducedDecode> ReducedDecodeForResize(ImageSize full, const ConversionSettingsRecord& s) {
  if (RotationWanted(s) || s.resizeAlgorithm == kResizeBox) return std::nullopt;
  const std::optional<TargetSize> target = ResizeTarget(full, s);
  if (!target || !ResizeFitsLimits(full.width, full.height, 24, *target)) return std::nullopt;
  if (full.width < 2 * target->width || full.height < 2 * target->height) return std::nullopt;
  const ImageSize smallest{static_cast<int>((target->width * 3 + 1) / 2),
                           static_cast<int>((target->height * 3 + 1) / 2)};
  return ReducedDecode{*target, smallest};
}

int32_t ResizeDimension(int32_t value, int8_t unit, int32_t current) {
  if (unit == kUnitPixels) return value;
  if (unit != kUnitPercent) return 0;
  // nearbyint rounds halves to even in the default rounding mode.
  const double target = std::nearbyint(value / 100.0 * current);
  constexpr double kLowest = std::numeric_limits<int32_t>::min();
  constexpr double kHighest = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(target, kLowest, kHighest));
}

FREE_IMAGE_FILTER ResizeFilter(const ConversionSettingsRecord& s) {
  for (const FilterRow& row : kResizeFilters)
    if (row.code == s.resizeAlgorithm) return row.filter;
  return FILTER_BICUBIC;
}

BitmapPtr ApplyFlips(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap) return bitmap;
  if (s.flipHorizontal) FreeImage_FlipHorizontal(bitmap.get());
  if (s.flipVertical) FreeImage_FlipVertical(bitmap.get());
  return bitmap;
}

BitmapPtr ApplyColorAdjustment(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap || !s.doColorCorrection) return bitmap;
  const int bpp = BppOf(bitmap);
  if (bpp < 8 || bpp > 32) bitmap = ConvertToRgb24(std::move(bitmap));
  // FreeImage refuses some depths (16-bit); the bitmap then goes on unchanged.
  if (bitmap) FreeImage_AdjustColors(bitmap.get(), s.brightness, s.contrast, s.gamma, s.invert ? TRUE : FALSE);
  return bitmap;
}

BitmapPtr ApplyGreyscale(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap || !s.greyscale) return bitmap;
  if (BppOf(bitmap) > 32) bitmap = ConvertToRgb24(std::move(bitmap));
  return ConvertWithinLimits(std::move(bitmap), 8, FreeImage_ConvertToGreyscale);
}

BitmapPtr ApplyThreshold(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap || !s.doThreshold) return bitmap;
  bitmap = WithBinarisableDepth(std::move(bitmap));
  const BYTE level = static_cast<BYTE>(s.threshold & 0xFF);
  return bitmap ? AdoptBitmap(FreeImage_Threshold(bitmap.get(), level)) : nullptr;
}

BitmapPtr ApplyDither(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  if (!bitmap || !s.doDither) return bitmap;
  bitmap = WithBinarisableDepth(std::move(bitmap));
  return bitmap ? AdoptBitmap(FreeImage_Dither(bitmap.get(), DitherAlgorithm(s))) : nullptr;
}

FREE_IMAGE_DITHER DitherAlgorithm(const ConversionSettingsRecord& s) {
  for (const DitherRow& row : kDitherAlgorithms)
    if (row.code == s.dither) return row.dither;
  return FID_FS;
}

BitmapPtr ApplyToneMapping(BitmapPtr bitmap, const ConversionSettingsRecord& s) {
  const int32_t loadAs = s.rawLoadAs;
  if (!bitmap || (loadAs != kLoadAs48HalfSize && loadAs != kLoadAs48)) return bitmap;
  const ToneMapper* mapper = FindToneMapper(s.rawToneMapping);
  if (!mapper) return bitmap;
  if (!mapper->fits(WidthOf(bitmap), HeightOf(bitmap))) return nullptr;
  // GD's Poisson solver does not report an allocation that fails: it hands back its unsolved
  // input, a dark and wrong picture. The allocator sets errno to ENOMEM whenever it refuses,
  // and the operators neither read nor write files, so ENOMEM after the call means the result
  // cannot be trusted.
  errno = 0;
  BitmapPtr mapped = AdoptBitmap(mapper->map(bitmap.get()));
  if (errno == ENOMEM) return nullptr;
  return mapped;
}

bool ToneMappingFitsLimits(int64_t width, int64_t height, int32_t toneMapping) {
  const ToneMapper* mapper = FindToneMapper(toneMapping);
  return !mapper || mapper->fits(width, height);
}
