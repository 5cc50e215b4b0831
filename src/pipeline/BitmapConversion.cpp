#include "pipeline/BitmapConversion.h"

#include "pipeline/Limits.h"

BitmapPtr ConvertWithinLimits(BitmapPtr bitmap, int resultBpp, FIBITMAP* (*convert)(FIBITMAP*)) {
  if (!bitmap || !FitsImageLimits(WidthOf(bitmap), HeightOf(bitmap), resultBpp)) return nullptr;
  return AdoptBitmap(convert(bitmap.get()));
}

BitmapPtr ConvertToRgb24(BitmapPtr bitmap) {
  if (bitmap && BppOf(bitmap) == 24) return bitmap;
  return ConvertWithinLimits(std::move(bitmap), 24, FreeImage_ConvertTo24Bits);
}
