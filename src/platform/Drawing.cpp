#include "platform/Drawing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace {

bool IsCanvasSizeAllowed(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxCanvasSide && height <= kMaxCanvasSide;
}

double Channel(uint32_t rgba, int shift) { return ((rgba >> shift) & 0xFF) / 255.0; }

uint32_t PackRgba(StraightPixel p) {
  return uint32_t{p.red} | uint32_t{p.green} << 8 | uint32_t{p.blue} << 16 | uint32_t{p.alpha} << 24;
}

uint32_t PremultiplyPacked(uint32_t rgba) {
  return Premultiply(rgba & 0xFF, (rgba >> 8) & 0xFF, (rgba >> 16) & 0xFF, rgba >> 24);
}

int ClampOpacity(int opacity) { return std::clamp(opacity, 0, 255); }

// ---- path text ----

std::vector<std::string_view> SplitTokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string_view::npos) break;
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    tokens.push_back(text.substr(start, end - start));
    pos = end;
  }
  return tokens;
}

bool ReadInteger(std::string_view token, int64_t& value) {
  auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size();
}

bool InPathRange(int64_t value) { return value >= -kMaxPathCoordinate && value <= kMaxPathCoordinate; }

// Builds the figure on `drawing` and reports whether the whole text was understood.
bool BuildPath(cairo_t* drawing, std::string_view pathText) {
  std::vector<std::string_view> tokens = SplitTokens(pathText);
  int64_t x = 0, y = 0;
  bool hasPoint = false;
  for (size_t i = 0; i < tokens.size();) {
    std::string_view command = tokens[i++];
    if (command == "Z") {
      if (!hasPoint) return false;
      cairo_close_path(drawing);
      continue;
    }
    if (command != "M" && command != "l") return false;
    int64_t a = 0, b = 0;
    if (i + 2 > tokens.size() || !ReadInteger(tokens[i], a) || !ReadInteger(tokens[i + 1], b)) return false;
    i += 2;
    if (!InPathRange(a) || !InPathRange(b)) return false;
    if (command == "M") {
      x = a, y = b, hasPoint = true;
    } else {
      if (!hasPoint) return false;
      x += a, y += b;
    }
    if (!InPathRange(x) || !InPathRange(y)) return false;
    if (command == "M")
      cairo_move_to(drawing, static_cast<double>(x), static_cast<double>(y));
    else
      cairo_line_to(drawing, static_cast<double>(x), static_cast<double>(y));
  }
  return hasPoint;
}

// ---- canvas and FreeImage pixels ----

// A copy of `source` whose every pixel went through `filter` in straight form.
CanvasPtr FilteredCopy(cairo_surface_t* source, PixelFilter filter) {
  int width = CanvasWidth(source), height = CanvasHeight(source);
  CanvasPtr copy = CreateCanvas(width, height);
  if (!copy) return copy;
  double originX, originY;
  cairo_surface_get_device_offset(source, &originX, &originY);
  cairo_surface_set_device_offset(copy.get(), originX, originY);
  cairo_surface_flush(source);
  for (int y = 0; y < height; ++y) {
    const uint32_t* in = CanvasRow(source, y);
    uint32_t* out = CanvasRow(copy.get(), y);
    for (int x = 0; x < width; ++x) out[x] = PremultiplyPacked(filter(PackRgba(Unpremultiply(in[x]))));
  }
  cairo_surface_mark_dirty(copy.get());
  return copy;
}

// A 32-bit picture whose alpha bytes are all zero carries no alpha at all (the usual
// 32-bit BMP); it is read as opaque rather than as an invisible picture.
void TreatEmptyAlphaAsOpaque(FIBITMAP* bitmap) {
  unsigned width = FreeImage_GetWidth(bitmap), height = FreeImage_GetHeight(bitmap);
  for (unsigned y = 0; y < height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(bitmap, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x)
      if (row[4 * x + FI_RGBA_ALPHA] != 0) return;
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) row[4 * x + FI_RGBA_ALPHA] = 255;
  }
}

// Copies a 32-bit straight-alpha FreeImage bitmap into a new canvas of the same size.
CanvasPtr BitmapToCanvas(FIBITMAP* bitmap) {
  int width = static_cast<int>(FreeImage_GetWidth(bitmap));
  int height = static_cast<int>(FreeImage_GetHeight(bitmap));
  CanvasPtr canvas = CreateCanvas(width, height);
  if (!canvas) return canvas;
  cairo_surface_flush(canvas.get());
  for (int y = 0; y < height; ++y) {
    const BYTE* in = FreeImage_GetScanLine(bitmap, height - 1 - y);
    uint32_t* out = CanvasRow(canvas.get(), y);
    for (int x = 0; x < width; ++x, in += 4)
      out[x] = Premultiply(in[FI_RGBA_RED], in[FI_RGBA_GREEN], in[FI_RGBA_BLUE], in[FI_RGBA_ALPHA]);
  }
  cairo_surface_mark_dirty(canvas.get());
  return canvas;
}

// FreeImage's 32-bit conversion takes 16-bit RGB and RGBA but not 16-bit grey, which goes to
// 8-bit grey first; every path keeps the high byte of a 16-bit value (40000 gives 156).
BitmapPtr ConvertToStraightRgba(FIBITMAP* bitmap) {
  if (FreeImage_GetImageType(bitmap) != FIT_UINT16) return AdoptBitmap(FreeImage_ConvertTo32Bits(bitmap));
  BitmapPtr grey = AdoptBitmap(FreeImage_ConvertTo8Bits(bitmap));
  return grey ? AdoptBitmap(FreeImage_ConvertTo32Bits(grey.get())) : nullptr;
}

// The picture formats the watermark accepts; everything else FreeImage could read is refused.
constexpr std::array<FREE_IMAGE_FORMAT, 3> kPictureFormats = {FIF_BMP, FIF_JPEG, FIF_PNG};

bool IsPictureFormat(FREE_IMAGE_FORMAT format) {
  return std::find(kPictureFormats.begin(), kPictureFormats.end(), format) != kPictureFormats.end();
}

}  // namespace

CanvasPtr CreateCanvas(int width, int height) {
  if (!IsCanvasSizeAllowed(width, height)) return nullptr;
  CanvasPtr canvas(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(canvas.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return canvas;
}

CanvasPtr CreateFilledCanvas(int width, int height, uint32_t rgba) {
  CanvasPtr canvas = CreateCanvas(width, height);
  if (!canvas) return canvas;
  uint32_t pixel = PremultiplyPacked(rgba);
  cairo_surface_flush(canvas.get());
  for (int y = 0; y < height; ++y) std::fill_n(CanvasRow(canvas.get(), y), width, pixel);
  cairo_surface_mark_dirty(canvas.get());
  return canvas;
}

bool ResizeBlankCanvas(CanvasPtr& canvas, int width, int height) {
  CanvasPtr resized = CreateCanvas(width, height);
  if (!resized) return false;
  canvas = std::move(resized);
  return true;
}

int CanvasWidth(cairo_surface_t* canvas) { return cairo_image_surface_get_width(canvas); }
int CanvasHeight(cairo_surface_t* canvas) { return cairo_image_surface_get_height(canvas); }

DrawingPtr StartDrawing(cairo_surface_t* canvas) {
  if (!canvas) return nullptr;
  DrawingPtr drawing(cairo_create(canvas));
  if (cairo_status(drawing.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return drawing;
}

void SetWriteMode(cairo_t* drawing, WriteMode mode) {
  cairo_set_operator(drawing, mode == WriteMode::kReplace ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
}

void SetAntialias(cairo_t* drawing, bool antialias) {
  cairo_set_antialias(drawing, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void SetFillColor(cairo_t* drawing, uint32_t rgba) {
  cairo_set_source_rgba(drawing, Channel(rgba, 0), Channel(rgba, 8), Channel(rgba, 16), Channel(rgba, 24));
}

void FillRectangle(cairo_t* drawing, double x, double y, double width, double height) {
  cairo_new_path(drawing);
  cairo_rectangle(drawing, x, y, width, height);
  cairo_fill(drawing);
}

void FillCanvas(cairo_t* drawing) {
  cairo_new_path(drawing);
  cairo_paint(drawing);
}

bool FillPathText(cairo_t* drawing, std::string_view pathText) {
  cairo_new_path(drawing);
  if (!BuildPath(drawing, pathText)) {
    cairo_new_path(drawing);
    return false;
  }
  cairo_fill(drawing);
  return true;
}

void SetCanvasOrigin(cairo_surface_t* canvas, int x, int y) { cairo_surface_set_device_offset(canvas, -x, -y); }

void DrawCanvas(cairo_surface_t* target, cairo_surface_t* source, int opacity, PixelFilter filter) {
  if (!target || !source) return;
  CanvasPtr filtered;
  if (filter) {
    filtered = FilteredCopy(source, filter);
    if (!filtered) return;
    source = filtered.get();
  }
  DrawingPtr drawing = StartDrawing(target);
  if (!drawing) return;
  cairo_set_source_surface(drawing.get(), source, 0, 0);
  cairo_paint_with_alpha(drawing.get(), ClampOpacity(opacity) / 255.0);
}

PictureRead ReadPicture(const std::string& path, int64_t maxPixels, Picture& picture) {
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (!IsPictureFormat(format)) return PictureRead::kNotAPicture;
  BitmapPtr header = AdoptBitmap(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
  if (!header) return PictureRead::kNotAPicture;
  int64_t width = FreeImage_GetWidth(header.get()), height = FreeImage_GetHeight(header.get());
  if (width <= 0 || height <= 0 || width > kMaxCanvasSide || height > kMaxCanvasSide || width * height > maxPixels)
    return PictureRead::kUnusable;
  BitmapPtr bitmap = AdoptBitmap(FreeImage_Load(format, path.c_str(), 0));
  if (!bitmap) return PictureRead::kNotAPicture;
  if (FreeImage_GetWidth(bitmap.get()) != width || FreeImage_GetHeight(bitmap.get()) != height)
    return PictureRead::kUnusable;
  int bitsPerPixel = static_cast<int>(FreeImage_GetBPP(bitmap.get()));
  bool transparent = FreeImage_IsTransparent(bitmap.get()) || bitsPerPixel == 32;
  BitmapPtr rgba = ConvertToStraightRgba(bitmap.get());
  if (!rgba) return PictureRead::kUnusable;
  bitmap.reset();
  if (bitsPerPixel == 32) TreatEmptyAlphaAsOpaque(rgba.get());
  CanvasPtr canvas = BitmapToCanvas(rgba.get());
  if (!canvas) return PictureRead::kUnusable;
  picture = {std::move(canvas), static_cast<int>(width), static_cast<int>(height), bitsPerPixel, transparent};
  return PictureRead::kRead;
}

BitmapPtr CanvasToBitmap(cairo_surface_t* canvas) {
  if (!canvas) return nullptr;
  int width = CanvasWidth(canvas), height = CanvasHeight(canvas);
  BitmapPtr bitmap =
      AdoptBitmap(FreeImage_Allocate(width, height, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
  if (!bitmap) return bitmap;
  cairo_surface_flush(canvas);
  for (int y = 0; y < height; ++y) {
    const uint32_t* in = CanvasRow(canvas, y);
    BYTE* out = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
    for (int x = 0; x < width; ++x, out += 4) {
      StraightPixel pixel = Unpremultiply(in[x]);
      out[FI_RGBA_RED] = pixel.red;
      out[FI_RGBA_GREEN] = pixel.green;
      out[FI_RGBA_BLUE] = pixel.blue;
      out[FI_RGBA_ALPHA] = pixel.alpha;
    }
  }
  return bitmap;
}
