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

bool CopyIccProfile(FIBITMAP* from, FIBITMAP* to) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(from);
  return !profile || !profile->data || profile->size <= 0 ||
         FreeImage_CreateICCProfile(to, profile->data, static_cast<long>(profile->size));
}
