#pragma once
// Takes the JPEG preview out of a camera file with LibRaw, as FreeImage's RAW plug-in does
// before it decodes one. LibRaw's and FreeImage's headers cannot be included together (both
// declare INT64), so this side speaks to LibRaw alone and hands over plain bytes.
#include <cstddef>
#include <memory>
#include <span>
#include <string>

// LibRaw's decoder and the preview it extracted, alive together.
struct RawJpegPreview;
struct RawJpegPreviewDeleter {
  void operator()(RawJpegPreview* preview) const;
};
using RawJpegPreviewPtr = std::unique_ptr<RawJpegPreview, RawJpegPreviewDeleter>;

// The file's JPEG preview as LibRaw hands it over in memory: LibRaw adds an EXIF block made
// of the camera file's own tags to a preview that carries none. Null when LibRaw does not
// read the file, when the camera's size exceeds the image limits at 24 bits, or when the
// file has no JPEG preview.
[[nodiscard]] RawJpegPreviewPtr ExtractJpegPreview(const std::string& path);

// The preview's bytes, starting with a JPEG signature.
[[nodiscard]] std::span<unsigned char> JpegPreviewBytes(const RawJpegPreview& preview);

// The ICC profile of the camera file itself; empty when it has none.
[[nodiscard]] std::span<unsigned char> CameraIccProfile(const RawJpegPreview& preview);
