#include "support/BitmapSamples.h"

#include <cstdlib>

BitmapPtr MakeSolidBitmap(int width, int height, int bpp, Rgba color) {
  BitmapPtr bitmap =
      bpp == 32 ? AdoptBitmap(FreeImage_Allocate(width, height, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                                 FI_RGBA_BLUE_MASK))
                : AdoptBitmap(FreeImage_Allocate(width, height, bpp));
  if (!bitmap) return bitmap;
  if (bpp == 8) {
    RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
    for (int i = 0; i < 256; ++i)
      palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
  }
  for (int y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap.get(), y);
    for (int x = 0; x < width; ++x) {
      if (bpp == 8) {
        row[x] = static_cast<BYTE>(color.red);
        continue;
      }
      BYTE* p = row + x * (bpp / 8);
      p[FI_RGBA_RED] = static_cast<BYTE>(color.red);
      p[FI_RGBA_GREEN] = static_cast<BYTE>(color.green);
      p[FI_RGBA_BLUE] = static_cast<BYTE>(color.blue);
      if (bpp == 32) p[FI_RGBA_ALPHA] = static_cast<BYTE>(color.alpha);
    }
  }
  return bitmap;
}

BitmapPtr MakePatternBitmap(int width, int height) {
  BitmapPtr bitmap = AdoptBitmap(FreeImage_Allocate(width, height, 24));
  for (int y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
    for (int x = 0; x < width; ++x) {
      row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(x * 7 + 11);
      row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(y * 5 + 3);
      row[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>((x * 13) ^ (y * 3));
    }
  }
  return bitmap;
}

Rgba PixelAt(FIBITMAP* bitmap, int x, int y) {
  int height = static_cast<int>(FreeImage_GetHeight(bitmap));
  const BYTE* row = FreeImage_GetScanLine(bitmap, height - 1 - y);
  unsigned bpp = FreeImage_GetBPP(bitmap);
  if (bpp == 8) {
    const RGBQUAD& entry = FreeImage_GetPalette(bitmap)[row[x]];
    return {entry.rgbRed, entry.rgbGreen, entry.rgbBlue, 255};
  }
  const BYTE* p = row + x * (bpp / 8);
  return {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], bpp == 32 ? p[FI_RGBA_ALPHA] : 255};
}

bool NearlyEqual(Rgba a, Rgba b, int tolerance) {
  return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
         std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance;
}

std::string Describe(Rgba c) {
  return "(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + "," +
         std::to_string(c.alpha) + ")";
}

int64_t CountDifferentPixels(FIBITMAP* a, FIBITMAP* b) {
  int width = static_cast<int>(FreeImage_GetWidth(a)), height = static_cast<int>(FreeImage_GetHeight(a));
  int64_t count = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgba pa = PixelAt(a, x, y), pb = PixelAt(b, x, y);
      if (pa.red != pb.red || pa.green != pb.green || pa.blue != pb.blue) ++count;
    }
  return count;
}

void AddCommentTag(FIBITMAP* bitmap, const std::string& text) {
  TagPtr tag(FreeImage_CreateTag());
  FreeImage_SetTagKey(tag.get(), "Comment");
  FreeImage_SetTagType(tag.get(), FIDT_ASCII);
  FreeImage_SetTagLength(tag.get(), static_cast<DWORD>(text.size() + 1));
  FreeImage_SetTagCount(tag.get(), static_cast<DWORD>(text.size() + 1));
  FreeImage_SetTagValue(tag.get(), text.c_str());
  FreeImage_SetMetadata(FIMD_COMMENTS, bitmap, "Comment", tag.get());
}

bool HasCommentTag(FIBITMAP* bitmap) {
  FITAG* tag = nullptr;
  return FreeImage_GetMetadata(FIMD_COMMENTS, bitmap, "Comment", &tag) && tag;
}
