#pragma once
// Upper bounds on what one conversion may ask FreeImage to allocate. Settings and files can
// carry any number (a width of two billion, a 400 % resize of a panorama, a headerless file
// that claims a million rows); these bounds turn such requests into a failed stage before
// memory runs out, instead of letting the allocation or the pixel loop take the machine down.
#include <cstdint>

// The headerless pixel loader never holds more pixel data than this, whatever the file
// length or the stated width and height.
inline constexpr int64_t kMaxHeaderlessBytes = int64_t{1} << 30;  // 1 GiB

// No side of a working or output bitmap may exceed this: it is the largest side a JPEG
// file can record, so a longer side could never be saved by this program anyway.
inline constexpr int64_t kMaxImageSide = 65535;

// No single bitmap a stage creates may hold more pixel bytes than this. A stage holds its
// input and its result at the same time, so the pipeline's pixels stay below about twice
// this figure, which leaves room for the decoder's own buffers on a machine with a few
// gigabytes. It still admits a 48-bit 150-megapixel camera image (900 MB). The tone
// mappers work on a float copy of at most twice this size, which they release themselves.
inline constexpr int64_t kMaxImageBytes = int64_t{1} << 30;  // 1 GiB

// True when the pixels of a bitmap of the given size and depth stay within kMaxImageBytes
// (for the intermediate bitmaps inside a FreeImage operation, whose sides may be longer).
[[nodiscard]] constexpr bool FitsImageBytes(int64_t width, int64_t height, int64_t bitsPerPixel) {
  if (width <= 0 || height <= 0 || bitsPerPixel <= 0 || bitsPerPixel > 128) return false;
  if (width > kMaxImageBytes || height > kMaxImageBytes) return false;
  const int64_t rowBytes = (width * bitsPerPixel + 7) / 8;  // both factors are small enough here
  return rowBytes <= kMaxImageBytes && rowBytes * height <= kMaxImageBytes;
}

// True when a bitmap of the given size and depth stays within every bound above.
[[nodiscard]] constexpr bool FitsImageLimits(int64_t width, int64_t height, int64_t bitsPerPixel) {
  return width <= kMaxImageSide && height <= kMaxImageSide && FitsImageBytes(width, height, bitsPerPixel);
}
