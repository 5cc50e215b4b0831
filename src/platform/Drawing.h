#pragma once
// The 2-D drawing layer: RGBA canvases drawn with cairo, pictures read into canvases, and the
// hand-over of a canvas to FreeImage. Colours are packed as the settings' colour texts are
// parsed: red in bits 0-7, green 8-15, blue 16-23, alpha 24-31 (straight, not premultiplied).
// Coordinates are pixels, the origin is the top-left corner and y grows downwards.
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/BitmapPtr.h"

struct CanvasDeleter {
  void operator()(cairo_surface_t* canvas) const { cairo_surface_destroy(canvas); }
};
using CanvasPtr = std::unique_ptr<cairo_surface_t, CanvasDeleter>;

struct DrawingDeleter {
  void operator()(cairo_t* drawing) const { cairo_destroy(drawing); }
};
using DrawingPtr = std::unique_ptr<cairo_t, DrawingDeleter>;

struct FontFaceDeleter {
  void operator()(cairo_font_face_t* face) const { cairo_font_face_destroy(face); }
};
using FontFacePtr = std::unique_ptr<cairo_font_face_t, FontFaceDeleter>;

struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;

// cairo refuses image surfaces with a side above 32767 pixels ("invalid size"), so larger
// canvases are refused here before any memory is asked for.
inline constexpr int kMaxCanvasSide = 32767;

// A new canvas, every pixel fully transparent; null when the size is not 1..kMaxCanvasSide
// on both sides or memory is short.
CanvasPtr CreateCanvas(int width, int height);

// A new canvas with every pixel set to `rgba`.
CanvasPtr CreateFilledCanvas(int width, int height, uint32_t rgba);

// Replaces a blank canvas by a transparent one of the new size; false (canvas unchanged)
// when the new size cannot be had.
[[nodiscard]] bool ResizeBlankCanvas(CanvasPtr& canvas, int width, int height);

int CanvasWidth(cairo_surface_t* canvas);
int CanvasHeight(cairo_surface_t* canvas);

// Starts drawing on a canvas; null when drawing cannot start. Fills are antialiased and
// blend source-over until told otherwise.
DrawingPtr StartDrawing(cairo_surface_t* canvas);

enum class WriteMode {
  kBlend,    // source-over
  kReplace,  // all four channels written unchanged where the shape covers the pixel
};
void SetWriteMode(cairo_t* drawing, WriteMode mode);
void SetAntialias(cairo_t* drawing, bool antialias);
void SetFillColor(cairo_t* drawing, uint32_t rgba);
void FillRectangle(cairo_t* drawing, double x, double y, double width, double height);
void FillCanvas(cairo_t* drawing);

// Fills the closed figure given as path text: "M x y" moves to an absolute point, "l dx dy"
// draws a line relative to the current point, "Z" closes the figure; numbers are decimal
// integers and tokens are separated by spaces. False, and nothing filled, for any other
// text or a point farther than kMaxPathCoordinate from the origin.
[[nodiscard]] bool FillPathText(cairo_t* drawing, std::string_view pathText);

// cairo keeps path coordinates in 24.8 fixed point, whose range ends near 8.4 million;
// farther points would wrap around instead of failing.
inline constexpr int64_t kMaxPathCoordinate = 4'000'000;

// Makes the canvas stand for the part of a larger picture whose top-left corner is (x, y):
// drawing coordinates are then those of the larger picture, and what falls outside the
// canvas is dropped. Pixels come out exactly as on a canvas of the whole picture.
void SetCanvasOrigin(cairo_surface_t* canvas, int x, int y);

// Passes one straight RGBA pixel (packed as above) through a colour change.
using PixelFilter = uint32_t (*)(uint32_t rgba);

// Draws `source` onto `target` at (0, 0), source-over, with its alpha multiplied by the
// constant `opacity` (0..255; numbers outside are taken as the nearer end). With a filter
// every source pixel passes through it first.
void DrawCanvas(cairo_surface_t* target, cairo_surface_t* source, int opacity, PixelFilter filter = nullptr);

// A picture read from a BMP, JPEG or PNG file (the file's content decides; other formats are
// not read). `bitsPerPixel` is the file's own depth; `transparent` is true when the picture
// has an alpha channel or a transparent colour.
struct Picture {
  CanvasPtr canvas;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  bool transparent = false;
};

enum class PictureRead {
  kRead,
  kNotAPicture,  // not a BMP, JPEG or PNG file, or one whose header or pixels do not decode
  kUnusable,     // read, but beyond the canvas side limit or `maxPixels`, or out of memory
};

// Reads the picture into `picture`. 16-bit pictures are reduced to 8 bits per channel, grey
// ones included. The size is checked from the header, before the pixels are decoded.
[[nodiscard]] PictureRead ReadPicture(const std::string& path, int64_t maxPixels, Picture& picture);

// The canvas as a FreeImage 32-bit bitmap: straight alpha, rows bottom-up as FreeImage keeps
// them, values rounded as a PNG written from the canvas would hold them.
BitmapPtr CanvasToBitmap(cairo_surface_t* canvas);

// One canvas pixel (premultiplied 0xAARRGGBB as cairo stores it) as straight channels,
// rounded the same way.
struct StraightPixel {
  uint8_t red, green, blue, alpha;
};
inline StraightPixel Unpremultiply(uint32_t argb) {
  unsigned alpha = argb >> 24;
  unsigned red = (argb >> 16) & 0xFF, green = (argb >> 8) & 0xFF, blue = argb & 0xFF;
  if (alpha == 0) {
    red = green = blue = 0;
  } else if (alpha != 255) {
    red = (red * 255 + alpha / 2) / alpha;
    green = (green * 255 + alpha / 2) / alpha;
    blue = (blue * 255 + alpha / 2) / alpha;
  }
  return {static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue),
          static_cast<uint8_t>(alpha)};
}

// Straight channels as a premultiplied canvas pixel, rounded as FreeImage and cairo do.
inline uint32_t Premultiply(unsigned red, unsigned green, unsigned blue, unsigned alpha) {
  auto scale = [alpha](unsigned channel) { return (channel * alpha + 127) / 255; };
  return alpha << 24 | scale(red) << 16 | scale(green) << 8 | scale(blue);
}

// Row `y` (top-down) of a canvas as premultiplied pixels. Call cairo_surface_flush before
// reading and cairo_surface_mark_dirty after writing.
inline uint32_t* CanvasRow(cairo_surface_t* canvas, int y) {
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(canvas) +
                                     static_cast<size_t>(y) *
                                         static_cast<size_t>(cairo_image_surface_get_stride(canvas)));
}
