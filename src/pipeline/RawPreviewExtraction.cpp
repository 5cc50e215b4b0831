#include "pipeline/RawPreviewExtraction.h"

#include <libraw/libraw.h>

#include "pipeline/Limits.h"
#include "pipeline/ProcessedImage.h"

namespace {

struct LibRawDeleter {
  void operator()(libraw_data_t* raw) const { libraw_close(raw); }
};
using LibRawPtr = std::unique_ptr<libraw_data_t, LibRawDeleter>;

// LibRaw's own message about a damaged file is not printed: the file is handed on to
// FreeImage's RAW plug-in, which reports the failure.
void IgnoreDataError(void*, const char*, const int) {}

}  // namespace

struct RawJpegPreview {
  LibRawPtr raw;
  ProcessedImagePtr jpeg;
};

void RawJpegPreviewDeleter::operator()(RawJpegPreview* preview) const {
  std::default_delete<RawJpegPreview>()(preview);
}

RawJpegPreviewPtr ExtractJpegPreview(const std::string& path) {
  RawJpegPreviewPtr preview(std::make_unique<RawJpegPreview>().release());
  preview->raw.reset(libraw_init(0));
  libraw_data_t* raw = preview->raw.get();
  if (!raw) return nullptr;
  libraw_set_dataerror_handler(raw, IgnoreDataError, nullptr);
  if (libraw_open_file(raw, path.c_str()) != LIBRAW_SUCCESS) return nullptr;
  if (!FitsImageLimits(raw->sizes.width, raw->sizes.height, 24)) return nullptr;
  if (libraw_unpack_thumb(raw) != LIBRAW_SUCCESS || raw->thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG) return nullptr;
  int error = 0;
  preview->jpeg.reset(libraw_dcraw_make_mem_thumb(raw, &error));
  const libraw_processed_image_t* jpeg = preview->jpeg.get();
  if (!jpeg || jpeg->type != LIBRAW_IMAGE_JPEG || jpeg->data_size < 2 || jpeg->data[0] != 0xFF || jpeg->data[1] != 0xD8)
    return nullptr;
  return preview;
}

std::span<unsigned char> JpegPreviewBytes(const RawJpegPreview& preview) {
  return {preview.jpeg->data, preview.jpeg->data_size};
}

std::span<unsigned char> CameraIccProfile(const RawJpegPreview& preview) {
  const libraw_colordata_t& color = preview.raw->color;
  if (!color.profile) return {};
  return {static_cast<unsigned char*>(color.profile), color.profile_length};
}
