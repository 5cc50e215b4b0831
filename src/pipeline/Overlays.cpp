#include "pipeline/Overlays.h"

#include <algorithm>

namespace {

bool IsPhoto24(FIBITMAP* photo) {
  return photo && FreeImage_GetImageType(photo) == FIT_BITMAP && FreeImage_GetBPP(photo) == 24;
}

// One pixel of the photo (B, G, R in memory) under a straight RGBA overlay pixel, with
// FreeImage_Composite's arithmetic.
inline void BlendOver(BYTE* photo, unsigned red, unsigned green, unsigned blue, unsigned alpha) {
  if (alpha == 0) return;
  if (alpha == 255) {
    photo[FI_RGBA_RED] = static_cast<BYTE>(red);
    photo[FI_RGBA_GREEN] = static_cast<BYTE>(green);
    photo[FI_RGBA_BLUE] = static_cast<BYTE>(blue);
    return;
  }
  unsigned rest = 255 - alpha;
  photo[FI_RGBA_RED] = static_cast<BYTE>((alpha * red + rest * photo[FI_RGBA_RED]) >> 8);
  photo[FI_RGBA_GREEN] = static_cast<BYTE>((alpha * green + rest * photo[FI_RGBA_GREEN]) >> 8);
  photo[FI_RGBA_BLUE] = static_cast<BYTE>((alpha * blue + rest * photo[FI_RGBA_BLUE]) >> 8);
}

// FreeImage_Paste with alpha 255 onto a zero pixel: ((v − 0)·255 + 0·256) >> 8.
inline unsigned PastedValue(unsigned value) { return value * 255 >> 8; }

}  // namespace

bool CompositeCanvas(FIBITMAP* photo, cairo_surface_t* canvas, int left, int top) {
  if (!IsPhoto24(photo) || !canvas) return false;
  int64_t photoWidth = FreeImage_GetWidth(photo), photoHeight = FreeImage_GetHeight(photo);
  int64_t firstColumn = std::max<int64_t>(0, -int64_t{left});
  int64_t lastColumn = std::min<int64_t>(CanvasWidth(canvas), photoWidth - left);  // exclusive
  int64_t firstRow = std::max<int64_t>(0, -int64_t{top});
  int64_t lastRow = std::min<int64_t>(CanvasHeight(canvas), photoHeight - top);
  cairo_surface_flush(canvas);
  // Overlays are mostly runs of one colour, so the last conversion is kept: it saves the
  // three divisions of un-premultiplying almost every pixel.
  uint32_t lastInput = 0;
  StraightPixel pixel = Unpremultiply(lastInput);
  for (int64_t row = firstRow; row < lastRow; ++row) {
    const uint32_t* in = CanvasRow(canvas, static_cast<int>(row));
    BYTE* out =
        FreeImage_GetScanLine(photo, static_cast<int>(photoHeight - 1 - (top + row))) + 3 * (left + firstColumn);
    for (int64_t column = firstColumn; column < lastColumn; ++column, out += 3) {
      if ((in[column] >> 24) == 0) continue;
      if (in[column] != lastInput) pixel = Unpremultiply(lastInput = in[column]);
      BlendOver(out, pixel.red, pixel.green, pixel.blue, pixel.alpha);
    }
  }
  return true;
}

bool CompositePastedOverlay(FIBITMAP* photo, FIBITMAP* overlay, int64_t x, int64_t y) {
  if (!IsPhoto24(photo) || !overlay || FreeImage_GetBPP(overlay) != 32) return false;
  int64_t width = FreeImage_GetWidth(photo), height = FreeImage_GetHeight(photo);
  int64_t overlayWidth = FreeImage_GetWidth(overlay), overlayHeight = FreeImage_GetHeight(overlay);
  if (x < 0 || y < 0 || x + overlayWidth > width || y + overlayHeight > height) return true;
  for (int64_t row = 0; row < overlayHeight; ++row) {
    const BYTE* in = FreeImage_GetScanLine(overlay, static_cast<int>(overlayHeight - 1 - row));
    BYTE* out = FreeImage_GetScanLine(photo, static_cast<int>(height - 1 - (y + row))) + 3 * x;
    for (int64_t column = 0; column < overlayWidth; ++column, in += 4, out += 3)
      BlendOver(out, PastedValue(in[FI_RGBA_RED]), PastedValue(in[FI_RGBA_GREEN]), PastedValue(in[FI_RGBA_BLUE]),
                PastedValue(in[FI_RGBA_ALPHA]));
  }
  return true;
}
