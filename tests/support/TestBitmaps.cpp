#include "support/TestBitmaps.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const Rgb8 kQuadrantColors[4] = {{220, 40, 40}, {40, 220, 40}, {40, 40, 220}, {230, 230, 230}};

BYTE* RowFromTop(FIBITMAP* bitmap, int y) {
  return FreeImage_GetScanLine(bitmap, static_cast<int>(FreeImage_GetHeight(bitmap)) - 1 - y);
}

void MakeGreyPalette(FIBITMAP* bitmap, int levels) {
  RGBQUAD* palette = FreeImage_GetPalette(bitmap);
  for (int i = 0; i < levels; ++i) {
    const BYTE v = static_cast<BYTE>(i * 255 / (levels - 1));
    palette[i] = RGBQUAD{v, v, v, 0};
  }
}

void StorePixel(FIBITMAP* bitmap, int bpp, int x, int y, const Rgb8& c) {
  BYTE* row = RowFromTop(bitmap, y);
  const int grey = GreyOf(c);
  switch (bpp) {
    case 1:
      if (grey >= 128)
        row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      else
        row[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
      break;
    case 4: {
      const int shift = x % 2 == 0 ? 4 : 0;
      row[x / 2] = static_cast<BYTE>((row[x / 2] & ~(0x0F << shift)) | (grey >> 4) << shift);
      break;
    }
    case 8: row[x] = static_cast<BYTE>(grey); break;
    case 16:
      reinterpret_cast<WORD*>(row)[x] = static_cast<WORD>((c.red >> 3) << 11 | (c.green >> 2) << 5 | c.blue >> 3);
      break;
    case 24:
    case 32: {
      BYTE* p = row + x * (bpp / 8);
      p[FI_RGBA_RED] = static_cast<BYTE>(c.red);
      p[FI_RGBA_GREEN] = static_cast<BYTE>(c.green);
      p[FI_RGBA_BLUE] = static_cast<BYTE>(c.blue);
      if (bpp == 32) p[FI_RGBA_ALPHA] = static_cast<BYTE>(c.alpha);
      break;
    }
    case 48: {
      FIRGB16* p = reinterpret_cast<FIRGB16*>(row) + x;
      *p = FIRGB16{static_cast<WORD>(c.red * 257), static_cast<WORD>(c.green * 257), static_cast<WORD>(c.blue * 257)};
      break;
    }
    case 96: {
      FIRGBF* p = reinterpret_cast<FIRGBF*>(row) + x;
      *p = FIRGBF{static_cast<float>(c.red) / 255.0f, static_cast<float>(c.green) / 255.0f,
                  static_cast<float>(c.blue) / 255.0f};
      break;
    }
  }
}

BitmapPtr AllocateFor(int width, int height, int bpp) {
  switch (bpp) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32: return AdoptBitmap(FreeImage_Allocate(width, height, bpp));
    case 16:
      return AdoptBitmap(
          FreeImage_Allocate(width, height, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
    case 48: return AdoptBitmap(FreeImage_AllocateT(FIT_RGB16, width, height));
    case 96: return AdoptBitmap(FreeImage_AllocateT(FIT_RGBF, width, height));
    default: return nullptr;
  }
}

int Clamp8(double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); }

Rgb8 FromPalette(FIBITMAP* bitmap, unsigned index) {
  const RGBQUAD q = FreeImage_GetPalette(bitmap)[index];
  return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

Rgb8 From16(FIBITMAP* bitmap, WORD v) {
  if (FreeImage_GetGreenMask(bitmap) == FI16_555_GREEN_MASK)
    return {((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31};
  return {((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31};
}

}  // namespace

std::string ToString(const Rgb8& c) {
  return "(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + "," +
         std::to_string(c.alpha) + ")";
}

int GreyOf(const Rgb8& c) { return Clamp8(0.2126 * c.red + 0.7152 * c.green + 0.0722 * c.blue); }

Rgb8 PatternColor(TestPattern pattern, int width, int height, int x, int y) {
  switch (pattern) {
    case TestPattern::kQuadrants: return kQuadrantColors[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
    case TestPattern::kGradient:
      return {width > 1 ? x * 255 / (width - 1) : 0, height > 1 ? y * 255 / (height - 1) : 0, 128};
    case TestPattern::kMidGrey: return {100, 100, 100};
  }
  return {};
}

BitmapPtr MakeTestBitmap(int width, int height, int bpp, TestPattern pattern) {
  BitmapPtr bitmap = AllocateFor(width, height, bpp);
  if (!bitmap) return bitmap;
  if (bpp <= 8) MakeGreyPalette(bitmap.get(), 1 << bpp);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) StorePixel(bitmap.get(), bpp, x, y, PatternColor(pattern, width, height, x, y));
  return bitmap;
}

Rgb8 PixelAt(FIBITMAP* bitmap, int x, int y) {
  const BYTE* row = RowFromTop(bitmap, y);
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
  if (type == FIT_RGB16) {
    const FIRGB16 p = reinterpret_cast<const FIRGB16*>(row)[x];
    return {p.red >> 8, p.green >> 8, p.blue >> 8};
  }
  if (type == FIT_RGBF) {
    const FIRGBF p = reinterpret_cast<const FIRGBF*>(row)[x];
    return {Clamp8(p.red * 255.0), Clamp8(p.green * 255.0), Clamp8(p.blue * 255.0)};
  }
  switch (FreeImage_GetBPP(bitmap)) {
    case 1: return FromPalette(bitmap, (row[x / 8] >> (7 - x % 8)) & 1);
    case 4: return FromPalette(bitmap, x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    case 8: return FromPalette(bitmap, row[x]);
    case 16: return From16(bitmap, reinterpret_cast<const WORD*>(row)[x]);
    case 24: return {row[x * 3 + FI_RGBA_RED], row[x * 3 + FI_RGBA_GREEN], row[x * 3 + FI_RGBA_BLUE]};
    case 32:
      return {row[x * 4 + FI_RGBA_RED], row[x * 4 + FI_RGBA_GREEN], row[x * 4 + FI_RGBA_BLUE],
              row[x * 4 + FI_RGBA_ALPHA]};
  }
  return {-1, -1, -1, -1};
}

bool Near(const Rgb8& a, const Rgb8& b, int tolerance) {
  return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
         std::abs(a.blue - b.blue) <= tolerance;
}

std::string ComparePixels(FIBITMAP* actual, FIBITMAP* expected, int tolerance) {
  if (!actual || !expected) return "null bitmap";
  const unsigned width = FreeImage_GetWidth(actual), height = FreeImage_GetHeight(actual);
  if (width != FreeImage_GetWidth(expected) || height != FreeImage_GetHeight(expected))
    return "size " + std::to_string(width) + "x" + std::to_string(height) + ", expected " +
           std::to_string(FreeImage_GetWidth(expected)) + "x" + std::to_string(FreeImage_GetHeight(expected));
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const Rgb8 a = PixelAt(actual, static_cast<int>(x), static_cast<int>(y));
      const Rgb8 e = PixelAt(expected, static_cast<int>(x), static_cast<int>(y));
      if (!Near(a, e, tolerance))
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + ToString(a) + ", expected " +
               ToString(e);
    }
  return {};
}

double PsnrOf(FIBITMAP* actual, FIBITMAP* expected) {
  const unsigned width = FreeImage_GetWidth(actual), height = FreeImage_GetHeight(actual);
  if (!actual || !expected || width != FreeImage_GetWidth(expected) || height != FreeImage_GetHeight(expected))
    return 0;
  double squares = 0;
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const Rgb8 a = PixelAt(actual, static_cast<int>(x), static_cast<int>(y));
      const Rgb8 e = PixelAt(expected, static_cast<int>(x), static_cast<int>(y));
      for (int d : {a.red - e.red, a.green - e.green, a.blue - e.blue}) squares += d * d;
    }
  if (squares == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * 3.0 * width * height / squares);
}

std::string CompareWithPattern(FIBITMAP* actual, TestPattern pattern, int tolerance, int margin) {
  if (!actual) return "null bitmap";
  const int width = static_cast<int>(FreeImage_GetWidth(actual));
  const int height = static_cast<int>(FreeImage_GetHeight(actual));
  auto nearEdge = [margin](int v, int size) {
    return v < margin || v >= size - margin || std::abs(v - size / 2) < margin;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (margin > 0 && (nearEdge(x, width) || nearEdge(y, height))) continue;
      const Rgb8 a = PixelAt(actual, x, y);
      const Rgb8 e = PatternColor(pattern, width, height, x, y);
      if (!Near(a, e, tolerance))
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + ToString(a) + ", expected " +
               ToString(e);
    }
  return {};
}
