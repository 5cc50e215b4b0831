#pragma once
// Decodes the JPEG preview of a camera file with LibRaw and libjpeg-turbo directly, into the
// bitmap FreeImage's RAW plug-in makes of it with RAW_PREVIEW: the same pixels, metadata,
// ICC profile, resolution and EXIF rotation, at less cost.
//
// The plug-in hands the preview to FreeImage's JPEG decoder through a memory stream that
// serves it one byte per call, and the decoder swaps red and blue in every pixel after
// decoding; together a large share of a preview's conversion (bench/RESULTS.md). Here
// libjpeg-turbo reads the preview from memory and writes blue-green-red rows into the
// bitmap, with the settings FreeImage's decoder uses (fast integer IDCT, no fancy
// upsampling). FreeImage itself still reads the preview's metadata, from its header alone.
// One difference is deliberate: the preview's colour profile survives its turn upright,
// which FreeImage's turn leaves behind.
#include <memory>
#include <string>

#include "pipeline/ImageSize.h"
#include "platform/BitmapPtr.h"

struct ShrinkForResize;

// The decoded preview, or null when this decoder does not take the file: no LibRaw file, a
// camera size beyond the image limits, no JPEG preview, a preview that is not 3-component
// or whose stated size exceeds the limits, or one libjpeg-turbo reports an error in. The
// caller then loads the file through FreeImage's RAW plug-in, which settles each of those
// cases in its own way. A preview whose data ends before its picture does (libjpeg-turbo
// would fill the rest with grey) is not taken either, and sets `endedEarly`: the camera's
// own image is then to be decoded instead.
//
// With `shrink`, the preview may be decoded at a fraction of its size when a resize
// follows (see ReducedDecodeForResize): the bitmap is then smaller, and the resize's target
// goes to `shrink->target`.
[[nodiscard]] BitmapPtr DecodeJpegPreview(const std::string& path, ShrinkForResize* shrink = nullptr,
                                          bool* endedEarly = nullptr);

// True when FreeImage's JPEG decoder turns an image with this bitmap's EXIF orientation by a
// quarter (orientations 5 to 8), so that its sides swap.
[[nodiscard]] bool ExifOrientationTurnsAQuarter(FIBITMAP* bitmap);

// A preview being decoded row by row, for a conversion that hands the rows straight to the
// encoder without holding the picture.
struct PreviewRows;
struct PreviewRowsDeleter {
  void operator()(PreviewRows* rows) const;
};
using PreviewRowsPtr = std::unique_ptr<PreviewRows, PreviewRowsDeleter>;

// The preview's decoder, started, and in `header` a bitmap without pixels that carries all
// that DecodeJpegPreview's bitmap would carry (size, depth, metadata, ICC profile,
// resolution, thumbnail). Null for a file DecodeJpegPreview does not take or whose preview
// its EXIF orientation would turn.
[[nodiscard]] PreviewRowsPtr OpenPreviewRows(const std::string& path, BitmapPtr& header);

// The next `count` rows, top first, blue-green-red as in DecodeJpegPreview's bitmap. False
// when the decoder reports an error or the end of the data before the end of the picture
// (DecodeJpegPreview would not have taken the file).
[[nodiscard]] bool ReadPreviewRows(PreviewRows& rows, unsigned char** destination, unsigned count);
