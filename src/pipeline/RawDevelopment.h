#pragma once
// LibRaw's full decode of a camera file, asked for as FreeImage's RAW plug-in asks for it,
// with the result packed into bitmap rows inside LibRaw's own image buffer.
//
// The plug-in copies LibRaw's result (four 16-bit channels a pixel) into a new bitmap while
// LibRaw still holds its mosaic and that result: three full-size buffers at once, 4.5 times
// a 24-bit bitmap. Here the mosaic is released once demosaiced, the pixels are packed where
// they lie, and the buffer is cut down to the packed rows, which the bitmap then wraps; the
// conversion's peak is LibRaw's own. Like RawPreviewExtraction.h, this side speaks to LibRaw
// alone (its header and FreeImage's cannot be included together).
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pipeline/ImageSize.h"
#include "pipeline/RawFileReader.h"

// LibRaw's decoder with its open file (read through a RawFileReader) and, once developed,
// the packed pixels.
struct RawDevelopment;
struct RawDevelopmentDeleter {
  void operator()(RawDevelopment* development) const;
};
using RawDevelopmentPtr = std::unique_ptr<RawDevelopment, RawDevelopmentDeleter>;

// Rows top first, `pitch` bytes apart (a FreeImage bitmap's pitch, padding zeroed): blue,
// green, red bytes at 24 bits per pixel, red, green, blue 16-bit words at 48.
struct DevelopedPixels {
  unsigned char* rows = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
  int bitsPerPixel = 0;
  // LibRaw's orientation of the camera, still to be applied: 4 swaps rows and columns
  // first, 2 mirrors top to bottom, 1 left to right (as in LibRaw's flip_index).
  int flip = 0;
};

// LibRaw with the file open, set up as the plug-in sets it up; halfSize decodes at half width
// and height. Null when the file cannot be opened or LibRaw does not read it.
[[nodiscard]] RawDevelopmentPtr OpenRawDevelopment(const std::string& path, bool halfSize);

// The camera image's size as LibRaw states it before decoding (before any orientation).
[[nodiscard]] int RawImageWidth(const RawDevelopment& development);
[[nodiscard]] int RawImageHeight(const RawDevelopment& development);

// The size of the full decode's output as LibRaw makes it: stretched to square pixels and
// turned as the camera was held.
[[nodiscard]] ImageSize RawOutputSize(const RawDevelopment& development);

// The decode that follows makes one pixel of each 2 x 2 block of the mosaic, without
// demosaicing (a picture that is not a mosaic stays at its full size).
void DecodeAtHalfSize(RawDevelopment& development);

// True when the file holds an embedded preview or thumbnail of any kind that LibRaw reads.
// A damaged one leaves the development as it was opened, still to be developed.
[[nodiscard]] bool HasRawThumbnail(RawDevelopment& development);

// True once LibRaw has found the embedded preview damaged (it points past the end of the
// file, or its length cannot be a picture's).
[[nodiscard]] bool RawThumbnailDamaged(const RawDevelopment& development);

// Unpacks, demosaics and packs at 8 bits a sample (the BT.709 curve) or 16 (linear). False
// when LibRaw fails, reports raw data it could not decode, or makes other than three colours.
[[nodiscard]] bool DevelopRawImage(RawDevelopment& development, int bitsPerSample, DevelopedPixels& pixels);

// A copy of the embedded preview as a file, for its metadata; empty when there is none or it
// is a bitmap (which carries none). LibRaw's own copies are released. To be taken before
// DevelopRawImage: a damaged preview makes LibRaw free everything it holds, the developed
// pixels included.
[[nodiscard]] std::vector<unsigned char> TakeRawThumbnailFile(RawDevelopment& development);

// The ICC profile of the camera file; empty when it has none.
[[nodiscard]] std::span<unsigned char> RawIccProfile(const RawDevelopment& development);
