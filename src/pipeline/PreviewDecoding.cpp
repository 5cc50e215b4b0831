#include "pipeline/PreviewDecoding.h"

#include <algorithm>
#include <memory>

#include "pipeline/BitmapConversion.h"
#include "pipeline/ExifOrientation.h"
#include "pipeline/JpegErrors.h"
#include "pipeline/Limits.h"
#include "pipeline/RawPreviewExtraction.h"
#include "pipeline/Transforms.h"

namespace {

// What the decode is asked for beyond FreeImage's own: whether the EXIF orientation turns
// the image by a quarter, and whether it may be decoded smaller for a resize that follows
// (by the settings of the resize that follows, whose target, worked out from the full,
// upright size, then goes to `target`).
struct DecodeRequest {
  bool quarterTurn = false;
  const ConversionSettingsRecord* resize = nullptr;
  std::optional<TargetSize> target;
};

// libjpeg-turbo scales by eighths in its inverse DCT, far cheaper than decoding at full
// size and resizing from there: the smallest scale that still gives the size the resize
// needs (ReducedDecodeForResize) is taken, but never below 3/8: the 2 x 2 and 1 x 1
// inverse DCTs of a quarter and an eighth alias, and a camera photo resized from them
// differs visibly from the full-size route (bench/RESULTS.md, shrink-on-load).
constexpr unsigned kSmallestEighths = 3;
void ChooseReducedScale(jpeg_decompress_struct& info, DecodeRequest& request) {
  const int width = static_cast<int>(info.image_width), height = static_cast<int>(info.image_height);
  const ImageSize upright = request.quarterTurn ? ImageSize{height, width} : ImageSize{width, height};
  const std::optional<ReducedDecode> reduced =
      request.resize ? ReducedDecodeForResize(upright, *request.resize) : std::nullopt;
  if (!reduced) return;
  ImageSize smallest = reduced->smallest;
  if (request.quarterTurn) std::swap(smallest.width, smallest.height);
  for (unsigned eighths = kSmallestEighths; eighths < 8; ++eighths) {
    info.scale_num = eighths;
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width >= static_cast<unsigned>(smallest.width) &&
        info.output_height >= static_cast<unsigned>(smallest.height)) {
      request.target = reduced->target;
      return;
    }
  }
  info.scale_num = info.scale_denom = 1;
}

// Settings of FreeImage's JPEG decoder for loads without JPEG_ACCURATE, in the byte order
// of its bitmaps. False for what FreeImage does not load as a 24-bit RGB bitmap, and for a
// stated size beyond the image limits.
bool StartRgbDecode(jpeg_decompress_struct& info, DecodeRequest& request) {
  jpeg_read_header(&info, TRUE);
  if (info.num_components != 3 || (info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB))
    return false;
  if (!FitsImageLimits(info.image_width, info.image_height, 24)) return false;
  info.out_color_space = JCS_EXT_BGR;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  ChooseReducedScale(info, request);
  return jpeg_start_decompress(&info);
}

void ReadRows(jpeg_decompress_struct& info, FIBITMAP* bitmap) {
  TransferBitmapRows(bitmap, info.output_height, info.output_scanline,
                     [&](JSAMPROW* rows, unsigned count) { jpeg_read_scanlines(&info, rows, count); });
}

// The decoder's errors jump back into this function, past no destructor: the bitmap is
// owned by the caller's `bitmap`. A preview whose data ended early is not taken either.
bool DecodeRgbJpeg(const unsigned char* data, size_t size, DecodeRequest& request, JpegErrorManager& errors,
                   BitmapPtr& bitmap) {
  jpeg_decompress_struct info{};
  info.err = PrepareJpegErrors(errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (!StartRgbDecode(info, request)) {
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
  return !errors.endedEarly;
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
  if (!CopyIccProfile(header, bitmap)) return false;
  FIBITMAP* thumbnail = FreeImage_GetThumbnail(header);
  return !thumbnail || FreeImage_SetThumbnail(bitmap, thumbnail);
}

// The step FreeImage's decoder turns the image by; null for orientation 1, none or an
// unknown value. `unreadable` is set for a tag FreeImage's turn fails on.
const OrientationStep* ExifOrientationStep(FIBITMAP* bitmap, bool& unreadable) {
  FITAG* tag = nullptr;
  unreadable = false;
  if (FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, bitmap) == 0 ||
      !FreeImage_GetMetadata(FIMD_EXIF_MAIN, bitmap, "Orientation", &tag) || !tag ||
      FreeImage_GetTagID(tag) != kOrientationTag)
    return nullptr;
  const void* value = FreeImage_GetTagValue(tag);
  unreadable = !value || FreeImage_GetTagLength(tag) < sizeof(WORD);
  if (unreadable) return nullptr;
  return OrientationStepOf(*static_cast<const WORD*>(value));
}

// Null when FreeImage could not have turned it either (its turn failed). FreeImage's turn
// keeps the metadata but not the colour profile, which still describes the turned pixels.
BitmapPtr TurnUpright(BitmapPtr bitmap, const OrientationStep* step) {
  if (!step) return bitmap;
  if (step->degrees != 0) {
    BitmapPtr turned = AdoptBitmap(FreeImage_Rotate(bitmap.get(), step->degrees));
    if (!turned || !CopyIccProfile(bitmap.get(), turned.get())) return nullptr;
    bitmap = std::move(turned);
  }
  if (step->flipHorizontal) FreeImage_FlipHorizontal(bitmap.get());
  if (step->flipVertical) FreeImage_FlipVertical(bitmap.get());
  return bitmap;
}

}  // namespace

bool ExifOrientationTurnsAQuarter(FIBITMAP* bitmap) {
  bool unreadable = false;
  const OrientationStep* step = ExifOrientationStep(bitmap, unreadable);
  return step && step->degrees % 180 != 0;
}

BitmapPtr DecodeJpegPreview(const std::string& path, ShrinkForResize* shrink, bool* endedEarly) {
  RawJpegPreviewPtr preview = ExtractJpegPreview(path);
  if (!preview) return nullptr;
  const std::span<unsigned char> jpeg = JpegPreviewBytes(*preview);
  BitmapPtr header = ReadJpegHeader(jpeg.data(), jpeg.size());
  if (!header) return nullptr;
  bool unreadable = false;
  const OrientationStep* step = ExifOrientationStep(header.get(), unreadable);
  if (unreadable) return nullptr;
  DecodeRequest request{step && step->degrees % 180 != 0, shrink ? &shrink->settings : nullptr, {}};
  BitmapPtr bitmap;
  JpegErrorManager errors{};
  const bool decoded = DecodeRgbJpeg(jpeg.data(), jpeg.size(), request, errors, bitmap);
  if (endedEarly) *endedEarly = errors.endedEarly;
  if (!decoded || !CopyHeaderData(header.get(), bitmap.get())) return nullptr;
  bitmap = TurnUpright(std::move(bitmap), step);
  // The camera file's own ICC profile, when it has one, replaces the preview's.
  const std::span<unsigned char> profile = CameraIccProfile(*preview);
  if (bitmap && !profile.empty() &&
      !FreeImage_CreateICCProfile(bitmap.get(), profile.data(), static_cast<long>(profile.size())))
    return nullptr;
  if (bitmap && shrink) shrink->target = request.target;
  return bitmap;
}

struct PreviewRows {
  RawJpegPreviewPtr preview;
  jpeg_decompress_struct info{};
  JpegErrorManager errors{};
  bool created = false;
};

void PreviewRowsDeleter::operator()(PreviewRows* rows) const {
  if (rows->created) jpeg_destroy_decompress(&rows->info);
  std::default_delete<PreviewRows>()(rows);
}

namespace {

// The decoder's errors jump back into this function; the decoder is destroyed with `rows`.
bool StartPreviewRows(PreviewRows& rows) {
  jpeg_decompress_struct& info = rows.info;
  info.err = PrepareJpegErrors(rows.errors);
  if (setjmp(rows.errors.jump)) return false;
  jpeg_create_decompress(&info);
  rows.created = true;
  const std::span<unsigned char> jpeg = JpegPreviewBytes(*rows.preview);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  DecodeRequest request;
  return StartRgbDecode(info, request);
}

}  // namespace

PreviewRowsPtr OpenPreviewRows(const std::string& path, BitmapPtr& header) {
  PreviewRowsPtr rows(std::make_unique<PreviewRows>().release());
  rows->preview = ExtractJpegPreview(path);
  if (!rows->preview) return nullptr;
  const std::span<unsigned char> jpeg = JpegPreviewBytes(*rows->preview);
  header = ReadJpegHeader(jpeg.data(), jpeg.size());
  bool unreadable = false;
  if (!header || ExifOrientationStep(header.get(), unreadable) || unreadable || !StartPreviewRows(*rows))
    return nullptr;
  if (rows->info.output_width != FreeImage_GetWidth(header.get()) ||
      rows->info.output_height != FreeImage_GetHeight(header.get()))
    return nullptr;
  const std::span<unsigned char> profile = CameraIccProfile(*rows->preview);
  if (!profile.empty() && !FreeImage_CreateICCProfile(header.get(), profile.data(), static_cast<long>(profile.size())))
    return nullptr;
  return rows;
}

// The decoder's errors jump back into this function.
bool ReadPreviewRows(PreviewRows& rows, unsigned char** destination, unsigned count) {
  jpeg_decompress_struct& info = rows.info;
  if (setjmp(rows.errors.jump)) return false;
  if (count > info.output_height - info.output_scanline) return false;
  for (unsigned done = 0; done < count;) {
    const JDIMENSION got = jpeg_read_scanlines(&info, destination + done, count - done);
    if (got == 0) return false;
    done += got;
  }
  // The end of the preview is read as the whole-picture decode reads it.
  if (info.output_scanline == info.output_height) jpeg_finish_decompress(&info);
  return !rows.errors.endedEarly;
}
