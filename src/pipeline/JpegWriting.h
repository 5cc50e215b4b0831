#pragma once
// Writes 24-bit bitmaps as JPEG through libjpeg-turbo directly, byte for byte the file
// FreeImage's JPEG plug-in writes, at less cost.
//
// FreeImage copies every row of the bitmap into a buffer and swaps red and blue there
// before handing it to the encoder: on a 24-megapixel conversion from a preview that is a
// tenth of the work. libjpeg-turbo reads the bitmap's blue-green-red rows as they are.
// The markers that carry the metadata (comments, ICC profile, IPTC, XMP, EXIF) are the
// ones FreeImage writes itself: they are taken from FreeImage's JPEG of a one-pixel bitmap
// that carries the same metadata, so the two writers cannot drift apart.
#include <cstdio>
#include <functional>

#include "pipeline/JpegLib.h"
#include "pipeline/PhotoMetadata.h"
#include "platform/BitmapPtr.h"

// True for what the direct writer takes: a 24-bit RGB bitmap without an embedded thumbnail,
// and FreeImage JPEG save flags made of a quality from 1 to 100, at most one chroma
// subsampling flag and any of JPEG_PROGRESSIVE, JPEG_OPTIMIZE and JPEG_BASELINE. For
// anything else FreeImage's own writer is used. The bitmap may be one without pixels when
// its rows come from a PixelRows.
[[nodiscard]] bool CanWriteJpegDirectly(FIBITMAP* bitmap, int flags);

// The rows of a picture that no bitmap holds, handed over as the encoder asks for them, in
// bands of kJpegRowsPerCall rows (fewer for the last): `rows` is pointed at the next `count`
// rows, top row first, in a bitmap's byte order (blue, green, red), which stay valid until
// the next call. False when they cannot be had; the file is then abandoned.
using PixelRows = std::function<bool(unsigned char** rows, unsigned count)>;

// Writes the bitmap to the file as FreeImage_SaveToHandle(FIF_JPEG, ...) with the same
// flags would; with `rows`, the bitmap gives everything but its pixels, which come from
// there. With `metadata`, the photograph's own EXIF, XMP and IPTC segments replace those
// FreeImage writes from the bitmap's metadata. False when the encoder reports an error (such
// as a failed write) or the rows fail; what was written by then is left in the file.
[[nodiscard]] bool WriteJpegDirectly(std::FILE* file, FIBITMAP* bitmap, int flags, const PixelRows* rows = nullptr,
                                     const JpegSegments* metadata = nullptr);

// FreeImage's own JPEG of the bitmap, for what the direct writer does not take, with the
// photograph's EXIF, XMP and IPTC segments in place of FreeImage's.
[[nodiscard]] bool WriteJpegThroughFreeImage(std::FILE* file, FIBITMAP* bitmap, int flags,
                                             const JpegSegments& metadata);
