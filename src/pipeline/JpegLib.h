#pragma once
// libjpeg's header (it needs size_t and FILE declared before it), and the row loop that the
// direct JPEG decoder and encoder share.
#include <FreeImage.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

// Rows handed to or taken from libjpeg per call.
inline constexpr unsigned kJpegRowsPerCall = 16;

// Hands a bottom-up FreeImage bitmap's rows to `transfer(rows, count)` top row first, in
// bands of kJpegRowsPerCall (fewer for the last), until `scanline`, libjpeg's count of the
// rows done, reaches `height`.
template <typename Transfer>
void TransferBitmapRows(FIBITMAP* bitmap, unsigned height, const JDIMENSION& scanline, Transfer transfer) {
  JSAMPROW rows[kJpegRowsPerCall];
  while (scanline < height) {
    const unsigned count = std::min(kJpegRowsPerCall, height - scanline);
    for (unsigned i = 0; i < count; ++i)
      rows[i] = FreeImage_GetScanLine(bitmap, static_cast<int>(height - 1 - (scanline + i)));
    transfer(rows, count);
  }
}
