#pragma once
// Upper bounds on what one conversion may ask FreeImage to allocate. Settings and files can
// carry any number (a width of two billion, a 400 % resize of a panorama, a headerless file
// that claims a million rows); these bounds turn such requests into a failed stage before
// memory runs out, instead of letting the allocation or the pixel loop take the machine down.
#include <algorithm>
#include <cstdint>
#include <limits>

// The headerless pixel loader never holds more pixel data than this, whatever the file
// length or the stated width and height.
inline constexpr int64_t kMaxHeaderlessBytes = int64_t{1} << 30;  // 1 GiB

// No side of a working or output bitmap may exceed this: it is the largest side a JPEG
// file can record, so a longer side could never be saved by this program anyway.
inline constexpr int64_t kMaxImageSide = 65535;

// No single bitmap a stage creates may hold more pixel bytes than this. A stage holds its
// input and its result at the same time, so the pipeline's pixels stay below about twice
// this figure, which leaves room for the decoder's own buffers on a machine with a few
// gigabytes. It still admits a 48-bit 150-megapixel camera image (900 MB). The AL and DRR
// tone mappers also hold a 96-bit float copy, twice the size of their 48-bit input, which
// they release themselves; GD needs far more (GradientDomainToneMappingBytes).
inline constexpr int64_t kMaxImageBytes = int64_t{1} << 30;  // 1 GiB

// What one stage may hold at once: its input and its result within kMaxImageBytes each, the
// figure the bounds above already allow for. A stage whose own working memory does not
// follow from the sizes of its bitmaps is held to this as a whole.
inline constexpr int64_t kMaxWorkingBytes = 2 * kMaxImageBytes;  // 2 GiB

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

// The memory GD tone mapping (FreeImage_TmoFattal02) holds at its peak, its 48-bit input
// included. It solves a Poisson equation on a square float grid whose side is the power of two
// at or above the longer side, plus one, whatever the area: the padded copy, three grids per
// level of the multigrid solver and the right-hand sides of the coarser levels come to 16/3
// such grids. Beside them it keeps 26 bytes per pixel (the input, its float copy, the
// luminance and its divergence). Fitted to the peak resident memory of the operator alone
// (bench/RESULTS.md); a strip of 9000x200 already needs a grid of side 16385. Sides beyond
// kMaxImageSide need more than any budget.
[[nodiscard]] constexpr int64_t GradientDomainToneMappingBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
    return std::numeric_limits<int64_t>::max();
  int64_t side = 1;
  while (side < std::max(width, height)) side *= 2;
  side += 1;
  return side * side * 64 / 3 + 26 * width * height;
}
