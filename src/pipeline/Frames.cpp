#include "pipeline/Frames.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Colors.h"
#include "pipeline/Overlays.h"
#include "platform/Drawing.h"
#include "settings/ConversionSettings.h"

namespace {

struct FrameWidths {
  int left, right, top, bottom;
};

// Negative widths count as 0. A width beyond the image is cut to the image: every pixel it
// could cover is covered already, and the coordinates stay in the drawing layer's range.
FrameWidths ClampedFrameWidths(int width, int height, const ConversionSettingsRecord& s) {
  return {std::clamp(s.frSolidLeft, 0, width), std::clamp(s.frSolidRight, 0, width),
          std::clamp(s.frSolidTop, 0, height), std::clamp(s.frSolidBottom, 0, height)};
}

std::string Number(int64_t value) { return std::to_string(value); }

// A step backwards in path text: "-" and the distance, so a negative distance steps forwards.
std::string Back(int64_t distance) { return std::to_string(-distance); }

struct Rect {
  int x, y, width, height;
};

// One side of the frame: its colour, the corner rectangle painted underneath the mitre where
// this side meets the next, and the trapezoid of the side itself.
struct FrameSide {
  uint32_t color;
  Rect corner;
  std::string path;
};

// The sides in painting order: top, right, bottom, left. Each corner square is split along
// its diagonal by the two trapezoids that meet there; the rectangles underneath keep the
// background from showing through the antialiased seams.
std::array<FrameSide, 4> FrameSides(int64_t w, int64_t h, FrameWidths f, const ConversionSettingsRecord& s) {
  int64_t innerWidth = w - f.left - f.right, innerHeight = h - f.top - f.bottom;
  return {{
      {ParseHexColorAlpha(s.frSolidTopColor, 255),
       {0, 0, f.left, f.top},
       "M 0 0 l " + Number(w) + " 0 l " + Back(f.right) + " " + Number(f.top) + " l " + Back(innerWidth) + " 0 Z"},
      {ParseHexColorAlpha(s.frSolidRightColor, 255),
       {static_cast<int>(w) - f.right, 0, f.right, f.top},
       "M " + Number(w) + " 0 l 0 " + Number(h) + " l " + Back(f.right) + " " + Back(f.bottom) + " l 0 " +
           Back(innerHeight) + " Z"},
      {ParseHexColorAlpha(s.frSolidBottomColor, 255),
       {static_cast<int>(w) - f.right, static_cast<int>(h) - f.bottom, f.right, f.bottom},
       "M " + Number(w) + " " + Number(h) + " l " + Back(w) + " 0 l " + Number(f.left) + " " + Back(f.bottom) + " l " +
           Number(innerWidth) + " 0 Z"},
      {ParseHexColorAlpha(s.frSolidLeftColor, 255),
       {0, static_cast<int>(h) - f.bottom, f.left, f.bottom},
       "M 0 " + Number(h) + " l 0 " + Back(h) + " l " + Number(f.left) + " " + Number(f.top) + " l 0 " +
           Number(innerHeight) + " Z"},
  }};
}

// A tile's two canvases hold at most 4 MiB each, so a frame as wide as the image needs a
// few megabytes of working memory instead of two canvases of the image's size.
constexpr int64_t kTileBytes = int64_t{4} << 20;

// The parts of the image the frame can cover: the four bands without overlap, cut into
// tiles of at most kTileBytes. Only these are drawn and blended, so a frame costs what its
// bands cover, not what the image does, and images wider or taller than a canvas may be get
// their frame as well.

std::vector<Rect> FrameTiles(int w, int h, FrameWidths f) {
  int bottomTop = std::max(h - f.bottom, f.top);
  int rightLeft = std::max(w - f.right, f.left);
  int middle = std::max(bottomTop - f.top, 0);
  Rect bands[] = {{0, 0, w, f.top},
                  {0, bottomTop, w, h - bottomTop},
                  {0, f.top, f.left, middle},
                  {rightLeft, f.top, w - rightLeft, middle}};
  std::vector<Rect> tiles;
  for (const Rect& band : bands)
    for (int x = 0; x < band.width; x += kMaxCanvasSide) {
      int tileWidth = std::min(kMaxCanvasSide, band.width - x);
      int tileHeight = static_cast<int>(std::clamp<int64_t>(kTileBytes / (4 * tileWidth), 1, kMaxCanvasSide));
      for (int y = 0; y < band.height; y += tileHeight)
        tiles.push_back({band.x + x, band.y + y, tileWidth, std::min(tileHeight, band.height - y)});
    }
  return tiles;
}

CanvasPtr CreateTileCanvas(Rect tile) {
  CanvasPtr canvas = CreateCanvas(tile.width, tile.height);
  if (canvas) SetCanvasOrigin(canvas.get(), tile.x, tile.y);
  return canvas;
}

void DrawFrame(cairo_surface_t* canvas, int width, int height, FrameWidths widths, const ConversionSettingsRecord& s) {
  DrawingPtr drawing = StartDrawing(canvas);
  if (!drawing) return;
  std::array<FrameSide, 4> sides = FrameSides(width, height, widths, s);
  for (const FrameSide& side : sides) {
    SetFillColor(drawing.get(), side.color);
    FillRectangle(drawing.get(), side.corner.x, side.corner.y, side.corner.width, side.corner.height);
  }
  for (const FrameSide& side : sides) {
    SetFillColor(drawing.get(), side.color);
    (void)FillPathText(drawing.get(), side.path);  // the texts are built above from clamped widths
  }
}

// The frame's pixels within one tile, faded to the frame's opacity; null when no canvas
// could be had.
CanvasPtr FadedFrameTile(Rect tile, int width, int height, FrameWidths widths, const ConversionSettingsRecord& s) {
  CanvasPtr drawing = CreateTileCanvas(tile);
  if (!drawing) return nullptr;
  DrawFrame(drawing.get(), width, height, widths, s);
  CanvasPtr faded = CreateTileCanvas(tile);
  if (faded) DrawCanvas(faded.get(), drawing.get(), s.frSolidOpacity);
  return faded;
}

}  // namespace

BitmapPtr ApplySolidFrame(BitmapPtr image, int width, int height, const ConversionSettingsRecord& s) {
  if (s.doFrame == kFrameNone || !image) return image;
  image = ConvertToRgb24(std::move(image));
  if (!image || s.doFrame != kFrameSolid || width <= 0 || height <= 0) return image;
  // The frame is laid out for the size the pipeline reported; on a bitmap of another size
  // the stage fails rather than draw the frame out of place.
  if (FreeImage_GetWidth(image.get()) != static_cast<unsigned>(width) ||
      FreeImage_GetHeight(image.get()) != static_cast<unsigned>(height))
    return nullptr;
  FrameWidths widths = ClampedFrameWidths(width, height, s);
  for (Rect tile : FrameTiles(width, height, widths))
    if (CanvasPtr faded = FadedFrameTile(tile, width, height, widths, s))
      (void)CompositeCanvas(image.get(), faded.get(), tile.x, tile.y);  // the image is 24-bit here
  return image;
}
