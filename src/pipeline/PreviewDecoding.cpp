#include "pipeline/PreviewDecoding.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <jpeglib.h>

#include "pipeline/JpegErrors.h"

#include <algorithm>
#include <memory>

#include "pipeline/Limits.h"
#include "pipeline/RawPreviewExtraction.h"

namespace {

// Rows taken from the decoder per call.
constexpr int kRowsPerCall = 16;

constexpr WORD kOrientationTag = 0x0112;

// How FreeImage's JPEG decoder turns an image upright by its EXIF orientation: a turn
// (counter-clockwise degrees) and then flips. Orientation 1 and unknown values leave it.
struct OrientationStep {
  WORD orientation;
  int degrees;
  bool flipHorizontal;
  bool flipVertical;
};

const OrientationStep kOrientationSteps[] = {
    {2, 0, true, false},  {3, 180, false, false}, {4, 0, false, true},  {5, 90, false, true},
    {6, -90, false, false}, {7, -90, false, true}, {8, 90, false, false},
};

// Settings of FreeImage's JPEG decoder for loads without JPEG_ACCURATE, in the byte order
// of its bitmaps. False for what FreeImage does not load as a 24-bit RGB bitmap, and for a
// stated size beyond the image limits.
bool StartRgbDecode(jpeg_decompress_struct& info) {
  jpeg_read_header(&info, TRUE);
  if (info.num_components != 3 || (info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB)) return false;
  if (!FitsImageLimits(info.image_width, info.image_height, 24)) return false;
  info.out_color_space = JCS_EXT_BGR;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  return jpeg_start_decompress(&info);
}

void ReadRows(jpeg_decompress_struct& info, FIBITMAP* bitmap) {
  const unsigned height = info.output_height;
  JSAMPROW rows[kRowsPerCall];
  while (info.output_scanline < height) {
    const unsigned count = std::min<unsigned>(kRowsPerCall, height - info.output_scanline);
    // FreeImage keeps the bottom row first.
    for (unsigned i = 0; i < count; ++i)
      rows[i] = FreeImage_GetScanLine(bitmap, static_cast<int>(height - 1 - (info.output_scanline + i)));
    jpeg_read_scanlines(&info, rows, count);
  }
}

// The decoder's errors jump back into this function, past no destructor: the bitmap is
// owned by the caller's `bitmap`.
bool DecodeRgbJpeg(const unsigned char* data, size_t size, BitmapPtr& bitmap) {
  jpeg_decompress_struct info{};
  JpegErrorManager errors{};
  info.err = PrepareJpegErrors(errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (!StartRgbDecode(info)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  bitmap = AdoptBitmap(FreeImage_Allocate(static_cast<int>(info.output_width), static_cast<int>(info.output_height), 24,
                                          FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
  if (!bitmap) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  ReadRows(info, bitmap.get());
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// FreeImage's reading of the preview without its pixels: the metadata, ICC profile,
// resolution and thumbnail its decoder attaches.
BitmapPtr ReadJpegHeader(unsigned char* data, size_t size) {
  MemoryStreamPtr stream(FreeImage_OpenMemory(data, static_cast<DWORD>(size)));
  if (!stream) return nullptr;
  return AdoptBitmap(FreeImage_LoadFromMemory(FIF_JPEG, stream.get(), FIF_LOAD_NOPIXELS));
}

bool CopyHeaderData(FIBITMAP* header, FIBITMAP* bitmap) {
  if (!FreeImage_CloneMetadata(bitmap, header)) return false;
  FreeImage_SetDotsPerMeterX(bitmap, FreeImage_GetDotsPerMeterX(header));
  FreeImage_SetDotsPerMeterY(bitmap, FreeImage_GetDotsPerMeterY(header));
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(header);
  if (profile && profile->data && profile->size > 0 &&
      !FreeImage_CreateICCProfile(bitmap, profile->data, static_cast<long>(profile->size)))
    return false;
  FIBITMAP* thumbnail = FreeImage_GetThumbnail(header);
  return !thumbnail || FreeImage_SetThumbnail(bitmap, thumbnail);
}

// Null when FreeImage could not have turned it either (its turn failed).
BitmapPtr TurnUprightByExif(BitmapPtr bitmap) {
  FITAG* tag = nullptr;
  if (FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, bitmap.get()) == 0 ||
      !FreeImage_GetMetadata(FIMD_EXIF_MAIN, bitmap.get(), "Orientation", &tag) || !tag ||
      FreeImage_GetTagID(tag) != kOrientationTag)
    return bitmap;
  const void* value = FreeImage_GetTagValue(tag);
  if (!value || FreeImage_GetTagLength(tag) < sizeof(WORD)) return nullptr;
  const WORD orientation = *static_cast<const WORD*>(value);
  for (const OrientationStep& step : kOrientationSteps) {
    if (step.orientation != orientation) continue;
    if (step.degrees != 0) bitmap = AdoptBitmap(FreeImage_Rotate(bitmap.get(), step.degrees));
    if (!bitmap) return nullptr;
    if (step.flipHorizontal) FreeImage_FlipHorizontal(bitmap.get());
    if (step.flipVertical) FreeImage_FlipVertical(bitmap.get());
  }
  return bitmap;
}

}  // namespace

BitmapPtr DecodeJpegPreview(const std::string& path) {
  RawJpegPreviewPtr preview = ExtractJpegPreview(path);
  if (!preview) return nullptr;
  const std::span<unsigned char> jpeg = JpegPreviewBytes(*preview);
  BitmapPtr header = ReadJpegHeader(jpeg.data(), jpeg.size());
  BitmapPtr bitmap;
  if (!header || !DecodeRgbJpeg(jpeg.data(), jpeg.size(), bitmap) || !CopyHeaderData(header.get(), bitmap.get()))
    return nullptr;
  bitmap = TurnUprightByExif(std::move(bitmap));
  // The camera file's own ICC profile, when it has one, replaces the preview's.
  const std::span<unsigned char> profile = CameraIccProfile(*preview);
  if (bitmap && !profile.empty() &&
      !FreeImage_CreateICCProfile(bitmap.get(), profile.data(), static_cast<long>(profile.size())))
    return nullptr;
  return bitmap;
}
