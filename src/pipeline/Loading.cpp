#include "pipeline/Loading.h"

#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "formats/Signatures.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/FullDecoding.h"
#include "pipeline/Limits.h"
#include "pipeline/PreviewDecoding.h"
#include "pipeline/RawFileReaderIO.h"
#include "pipeline/Transforms.h"
#include "platform/FilePtr.h"
#include "settings/ConversionSettings.h"

namespace {

struct HeaderlessFormat {
  int32_t mode;
  unsigned bitsPerPixel;
  unsigned redMask, greenMask, blueMask;
};

const HeaderlessFormat kHeaderlessFormats[] = {
    {kLoadAs8BitPixels, 8, 0, 0, 0},
    {kLoadAs16BitPixels, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK},
};

struct RawFlagsRow {
  int32_t loadAs;
  int32_t flags;
  int decodedBpp;   // depth of the bitmap the decoder makes at most: 24 or 48
  int sizeDivisor;  // 2 when it decodes at half width and half height
  // A resize to a small enough target takes the half-size decode (ShrinkFullDecodeForResize).
  // Not at 48 bits: the tone mapping that follows magnifies in the shadows what the half
  // size lacks, to 37.7 dB against the full-size route (bench/RESULTS.md).
  bool halfSizeForResize;
};

// Codes not listed (the headerless modes among them) decode with RAW_DEFAULT.
const RawFlagsRow kRawLoadFlags[] = {
    {kLoadAsAuto, RAW_PREVIEW, 24, 1, false},  // the embedded preview, or a 24-bit decode when there is none
    {kLoadAs24, RAW_DISPLAY, 24, 1, true},
    {kLoadAs48HalfSize, RAW_HALFSIZE, 48, 2, false},
    {kLoadAs48, RAW_DEFAULT, 48, 1, false},
};
constexpr RawFlagsRow kRawDefaultRow{-1, RAW_DEFAULT, 48, 1, false};

const HeaderlessFormat* FindHeaderlessFormat(int32_t mode) {
  for (const HeaderlessFormat& format : kHeaderlessFormats)
    if (format.mode == mode) return &format;
  return nullptr;
}

struct HeaderlessLayout {
  int64_t dataSize = 0;  // bytes after the header
  int64_t width = 0;
  int64_t height = 0;
  int64_t pitch = 0;  // bytes per row in the file: rows follow each other without gaps
};

// Width and height from the settings, or the side of the square the data fills (halves
// round to even). False for any size that cannot be loaded safely.
bool PlanHeaderlessLayout(int64_t fileLength, const HeaderlessFormat& format, HeaderlessLayout& layout,
                          const ConversionSettingsRecord& s) {
  const int64_t header = s.rawHeaderSize;
  const int64_t bytesPerPixel = format.bitsPerPixel / 8;
  if (header < 0 || fileLength <= header) return false;
  layout.dataSize = fileLength - header;
  if (s.rawWidth != 0 && s.rawHeight != 0) {
    layout.width = s.rawWidth;
    layout.height = s.rawHeight;
  } else {
    const double side =
        std::nearbyint(std::sqrt(static_cast<double>(layout.dataSize) / static_cast<double>(bytesPerPixel)));
    layout.width = layout.height = static_cast<int64_t>(side);
  }
  if (!FitsImageLimits(layout.width, layout.height, format.bitsPerPixel)) return false;
  layout.pitch = layout.width * bytesPerPixel;
  return std::max(layout.dataSize, layout.pitch * layout.height) <= kMaxHeaderlessBytes;
}

// Row y of the file (top row first) goes to the bitmap's row y from the top; whatever the
// file does not supply stays black.
bool ReadHeaderlessRows(std::FILE* file, const HeaderlessLayout& layout, FIBITMAP* bitmap,
                        const ConversionSettingsRecord& s) {
  if (fseeko(file, s.rawHeaderSize, SEEK_SET) != 0) return false;
  const int64_t height = layout.height;
  int64_t remaining = layout.dataSize;
  for (int64_t y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap, static_cast<int>(height - 1 - y));
    const size_t wanted = static_cast<size_t>(std::clamp<int64_t>(remaining, 0, layout.pitch));
    const size_t got = wanted > 0 ? std::fread(row, 1, wanted, file) : 0;
    std::memset(row + got, 0, static_cast<size_t>(layout.pitch) - got);
    remaining = got < wanted ? 0 : remaining - static_cast<int64_t>(got);
  }
  return true;
}

const RawFlagsRow& RawLoadRow(const ConversionSettingsRecord& s) {
  for (const RawFlagsRow& row : kRawLoadFlags)
    if (row.loadAs == s.rawLoadAs) return row;
  return kRawDefaultRow;
}

constexpr const char* kDamagedPreviewNote =
    "[WARNING] The embedded preview is damaged; the RAW data was decoded instead\n";

// A preview that is damaged (cut short, or pointing past the end of the file) is passed over
// for the camera's own image, which the debug report then mentions.
BitmapPtr DecodeInsteadOfPreview(RawDevelopmentPtr development, int bitsPerSample, bool previewMetadata,
                                 std::string& notes) {
  BitmapPtr bitmap = DecodeFullImage(std::move(development), bitsPerSample, previewMetadata);
  if (bitmap) notes += kDamagedPreviewNote;
  return bitmap;
}

// The camera's size comes from the file's header (read without pixels), so a file that
// claims more pixels than the image limits admit is refused before the decoder allocates.
// A JPEG preview is first decoded directly (PreviewDecoding.h), and whole images are decoded
// through LibRaw directly (FullDecoding.h): both give the plug-in's bitmap at less cost.
// A file with a preview that the direct decoder does not take goes the plug-in's way.
// A preview whose JPEG header claims more than the limits (see RawFileReader.h) is passed
// over, and the file decoded as the RAW decoder's own fallback for a file without a
// preview does: a full 24-bit decode. The decoder has then already made its own fallback
// decode of the file (and libjpeg may have warned about the zeros it was handed); that
// result is not taken, so that what such a file yields never depends on how the decoder
// reads a damaged preview. Such files cost two decodes; every other file is read once.
// A damaged preview (its data ends before its picture, which libjpeg would fill with grey,
// or it points past the end of the file) is passed over in the same way.
// How much smaller than the picture a resize's target must be, on both sides, for a full
// decode to take LibRaw's half size, a fraction of the cost of demosaicing the whole mosaic.
// The half size holds less detail than the demosaiced picture; these reductions keep the
// resized result within 40 dB of the full-size route for each filter (bench/RESULTS.md,
// "full decodes that shrink"): the sharper filters keep more of the detail, and so need a
// smaller target. BOX, like every other filter not listed, always takes the full size.
struct HalfSizeReduction {
  int8_t resizeAlgorithm;
  int factor;
};
const HalfSizeReduction kHalfSizeReductions[] = {
    {kResizeBilinear, 3}, {kResizeBspline, 3}, {kResizeBicubic, 3}, {kResizeCatmullRom, 5}, {kResizeLanczos, 5}};

int HalfSizeFactor(const ConversionSettingsRecord& s) {
  for (const HalfSizeReduction& row : kHalfSizeReductions)
    if (row.resizeAlgorithm == s.resizeAlgorithm) return row.factor;
  return 0;
}

// The resize still works to the target of the full size, which `shrink->target` gets.
// ReducedDecodeForResize gives half again of the target as the smallest size.
void ShrinkFullDecodeForResize(RawDevelopment& development, ShrinkForResize* shrink) {
  if (!shrink) return;
  const ImageSize full = RawOutputSize(development);
  const int factor = HalfSizeFactor(shrink->settings);
  const std::optional<ReducedDecode> reduced = factor ? ReducedDecodeForResize(full, shrink->settings) : std::nullopt;
  if (!reduced) return;
  const ImageSize smallest = reduced->smallest;
  const auto fits = [factor](int side, int smallestSide) {
    return int64_t{side} * 3 >= int64_t{smallestSide} * 2 * factor;
  };
  if (!fits(full.width, smallest.width) || !fits(full.height, smallest.height)) return;
  DecodeAtHalfSize(development);
  shrink->target = reduced->target;
}

BitmapPtr LoadRawWithinLimits(const std::string& path, const ConversionSettingsRecord& s, ShrinkForResize* shrink,
                              std::string& notes) {
  const RawFlagsRow& row = RawLoadRow(s);
  bool previewEndedEarly = false;
  if (row.flags == RAW_PREVIEW)
    if (BitmapPtr preview = DecodeJpegPreview(path, shrink, &previewEndedEarly)) return preview;
  RawDevelopmentPtr development = OpenRawDevelopment(path, row.sizeDivisor == 2);
  if (!development || !FitsImageLimits(RawImageWidth(*development) / row.sizeDivisor,
                                       RawImageHeight(*development) / row.sizeDivisor, row.decodedBpp))
    return nullptr;
  const int bitsPerSample = row.decodedBpp / 3;
  if (row.flags != RAW_PREVIEW) {
    if (row.halfSizeForResize) ShrinkFullDecodeForResize(*development, shrink);
    return DecodeFullImage(std::move(development), bitsPerSample, true);
  }
  if (previewEndedEarly) return DecodeInsteadOfPreview(std::move(development), bitsPerSample, true, notes);
  // Without any preview the plug-in decodes the whole image, and takes no preview metadata.
  if (!HasRawThumbnail(*development))
    return RawThumbnailDamaged(*development)
               ? DecodeInsteadOfPreview(std::move(development), bitsPerSample, false, notes)
               : DecodeFullImage(std::move(development), bitsPerSample, false);
  development.reset();
  RawFileReader reader;
  if (!OpenRawFileReader(path, reader)) return nullptr;
  reader.watchJpegFrames = true;
  BitmapPtr preview = LoadFromRawFileReader(reader, FIF_RAW, RAW_PREVIEW);
  if (!reader.sawOversizedJpegFrame) return preview;
  preview.reset();
  reader.watchJpegFrames = false;
  return DecodeFullImage(OpenRawDevelopment(path, false), bitsPerSample, true);
}

// FreeImage's JPEG decoder scales by a half, a quarter or an eighth in its inverse DCT when
// told the size it needs (flags >> 16: at least that many pixels on the longer side). Only
// the half is asked for, when it still gives the size the resize needs
// (ReducedDecodeForResize): the quarter and the eighth alias (see PreviewDecoding.cpp).
// Returns the flags to add; `target` gets the resize's target from the full, upright size.
int ReducedJpegLoadFlags(FIBITMAP* header, const ConversionSettingsRecord& s, std::optional<TargetSize>& target) {
  const int width = static_cast<int>(FreeImage_GetWidth(header)),
            height = static_cast<int>(FreeImage_GetHeight(header));
  const bool quarterTurn = ExifOrientationTurnsAQuarter(header);
  const ImageSize upright = quarterTurn ? ImageSize{height, width} : ImageSize{width, height};
  const std::optional<ReducedDecode> reduced = ReducedDecodeForResize(upright, s);
  if (!reduced) return 0;
  ImageSize smallest = reduced->smallest;
  if (quarterTurn) std::swap(smallest.width, smallest.height);
  if ((width + 1) / 2 < smallest.width || (height + 1) / 2 < smallest.height) return 0;
  target = reduced->target;
  return (std::max(width, height) / 2) << 16;
}

// A JPEG states its size in a few header bytes, so a file of a few kilobytes can claim a
// picture of many gigabytes that the decoder would allocate and fill. The header is read
// first (without pixels, which costs next to nothing) and such a claim refused.
BitmapPtr LoadJpegWithinLimits(const std::string& path, ShrinkForResize* shrink) {
  BitmapPtr header = AdoptBitmap(FreeImage_Load(FIF_JPEG, path.c_str(), FIF_LOAD_NOPIXELS));
  if (!header || !FitsImageLimits(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()),
                                  FreeImage_GetBPP(header.get())))
    return nullptr;
  std::optional<TargetSize> target;
  const int reduction = shrink ? ReducedJpegLoadFlags(header.get(), shrink->settings, target) : 0;
  // The decoder turns the pixels upright by the file's EXIF orientation, and leaves the
  // file's colour profile behind when it turns them.
  BitmapPtr bitmap = AdoptBitmap(FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_ACCURATE | JPEG_EXIFROTATE | reduction));
  if (bitmap && !CopyIccProfile(header.get(), bitmap.get())) return nullptr;
  if (!bitmap || reduction == 0) return bitmap;
  // The decoder notes the file's size among its comments when it scales; they are the
  // file's own otherwise.
  FreeImage_SetMetadata(FIMD_COMMENTS, bitmap.get(), "OriginalJPEGWidth", nullptr);
  FreeImage_SetMetadata(FIMD_COMMENTS, bitmap.get(), "OriginalJPEGHeight", nullptr);
  shrink->target = target;
  return bitmap;
}

// Greyscale, threshold and dither leave grey levels or black and white, whatever depth they
// are saved at afterwards.
bool PipelineRemovesColour(const ConversionSettingsRecord& s) { return s.greyscale || s.doThreshold || s.doDither; }

// A colour profile describes colour pixels and a grey profile grey ones (the colour space of
// the data stands at bytes 16-19 of the profile's header); any other profile (CMYK, Lab)
// describes pixels the decoders have already converted.
bool ProfileDescribesPixels(const FIICCPROFILE& profile, FIBITMAP* bitmap, const ConversionSettingsRecord& s) {
  constexpr size_t kHeaderSize = 128, kColourSpaceAt = 16;
  if (!profile.data || profile.size < kHeaderSize) return false;
  const std::string_view space(static_cast<const char*>(profile.data) + kColourSpaceAt, 4);
  const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(bitmap);
  const bool grey = type == FIC_MINISBLACK || type == FIC_MINISWHITE;
  if (space == "GRAY") return grey;
  return space == "RGB " && !grey && !PipelineRemovesColour(s);
}

}  // namespace

void InitialiseImageLibraries() {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
}

BitmapPtr LoadSourceImage(const std::string& path, const ConversionSettingsRecord& s,
                          std::optional<TargetSize>* resizeTarget, std::string* notes) {
  const int32_t loadAs = s.rawLoadAs;
  ShrinkForResize shrink{s, std::nullopt};
  ShrinkForResize* const mayShrink = resizeTarget ? &shrink : nullptr;
  std::string unused;
  BitmapPtr bitmap;
  if (loadAs == kLoadAs8BitPixels || loadAs == kLoadAs16BitPixels) bitmap = LoadRawPixelData(path, loadAs, s);
  if (!bitmap) bitmap = LoadRawWithinLimits(path, s, mayShrink, notes ? *notes : unused);
  if (!bitmap) bitmap = LoadJpegWithinLimits(path, mayShrink);
  if (resizeTarget) *resizeTarget = shrink.target;
  // A file of a known kind that its decoders refused (damaged, unsupported, or too large for
  // the memory at hand) is not made into a picture of its bytes.
  if (!bitmap && !HasKnownFileSignature(path)) bitmap = LoadRawPixelData(path, kLoadAs16BitPixels, s);
  return bitmap;
}

BitmapPtr LoadRawPixelData(const std::string& path, int32_t mode, const ConversionSettingsRecord& s) {
  const HeaderlessFormat* format = FindHeaderlessFormat(mode);
  if (!format) return nullptr;
  FilePtr file(std::fopen(path.c_str(), "rb"));
  struct stat info {};
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  HeaderlessLayout layout;
  if (!PlanHeaderlessLayout(info.st_size, *format, layout, s)) return nullptr;
  BitmapPtr bitmap = AdoptBitmap(FreeImage_AllocateT(
      FIT_BITMAP, static_cast<int>(layout.width), static_cast<int>(layout.height),
      static_cast<int>(format->bitsPerPixel), format->redMask, format->greenMask, format->blueMask));
  if (!bitmap || !ReadHeaderlessRows(file.get(), layout, bitmap.get(), s)) return nullptr;
  return bitmap;
}

int32_t RawLoadFlags(const ConversionSettingsRecord& s) { return RawLoadRow(s).flags; }

BitmapPtr MakeMetadataHolder(FIBITMAP* source) {
  BitmapPtr holder = AdoptBitmap(FreeImage_AllocateT(FIT_BITMAP, 10, 10, 8, 0, 0, 0));
  if (!holder || !source) return holder;
  FreeImage_CloneMetadata(holder.get(), source);
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(source);
  if (profile->data && profile->size > 0) FreeImage_CreateICCProfile(holder.get(), profile->data, profile->size);
  return holder;
}

void RestoreSourceMetadata(FIBITMAP* bitmap, FIBITMAP* holder, const ConversionSettingsRecord& s) {
  if (!bitmap || !holder) return;
  FreeImage_CloneMetadata(bitmap, holder);
  // The stages that make a new bitmap (turning, resizing, tone mapping, depth conversions)
  // leave its profile behind, and one left on the bitmap may no longer fit its pixels.
  FreeImage_DestroyICCProfile(bitmap);
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(holder);
  if (ProfileDescribesPixels(*profile, bitmap, s))
    FreeImage_CreateICCProfile(bitmap, profile->data, static_cast<long>(profile->size));
}
