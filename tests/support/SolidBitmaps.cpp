#include "support/SolidBitmaps.h"

BitmapPtr MakeSolidBitmap(int width, int height, int bpp, Rgb8 color) {
  BitmapPtr bitmap =
      bpp == 32
          ? AdoptBitmap(FreeImage_Allocate(width, height, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK))
          : AdoptBitmap(FreeImage_Allocate(width, height, bpp));
  if (!bitmap) return bitmap;
  if (bpp == 8) {
    RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
    for (int i = 0; i < 256; ++i) palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
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

int64_t CountDifferentPixels(FIBITMAP* a, FIBITMAP* b) {
  int width = static_cast<int>(FreeImage_GetWidth(a)), height = static_cast<int>(FreeImage_GetHeight(a));
  int64_t count = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) count += !Near(PixelAt(a, x, y), PixelAt(b, x, y), 0);
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
