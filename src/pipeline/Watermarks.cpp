#include "pipeline/Watermarks.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Colors.h"
#include "pipeline/Overlays.h"
#include "platform/Drawing.h"
#include "platform/Fonts.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"

namespace {

// The one font of the run, made by CreateWatermarkFont before the worker starts.
FontRecord watermarkFont;

// An overlay exists up to four times at once (text, background and overlay canvases, or its
// FreeImage copy beside the rotated one), 4 bytes per pixel each. 2^26 pixels (256 MiB per
// copy) keeps the stage near 1 GiB at worst, and is still more than the whole of a
// 60-megapixel photo that the overlay is laid on; larger overlays are refused before any
// pixel is drawn: a text box leaves the image without a watermark, a picture fails the stage.
constexpr int64_t kMaxOverlayPixels = int64_t{1} << 26;

constexpr std::string_view kLineBreak = "%eol%";

// The settings that place a watermark, one row per kind: text, then picture.
struct WatermarkFields {
  int8_t ConversionSettingsRecord::*boundary;
  int8_t ConversionSettingsRecord::*position;
  int32_t ConversionSettingsRecord::*xOffset;
  int32_t ConversionSettingsRecord::*yOffset;
  int32_t ConversionSettingsRecord::*rotation;
};
constexpr WatermarkFields kWatermarkFields[] = {
    {&ConversionSettingsRecord::wmTextBoundary, &ConversionSettingsRecord::wmTextPosition,
     &ConversionSettingsRecord::wmTextXOffset, &ConversionSettingsRecord::wmTextYOffset,
     &ConversionSettingsRecord::wmTextRotation},
    {&ConversionSettingsRecord::wmImageBoundary, &ConversionSettingsRecord::wmImagePosition,
     &ConversionSettingsRecord::wmImageXOffset, &ConversionSettingsRecord::wmImageYOffset,
     &ConversionSettingsRecord::wmImageRotation},
};

const WatermarkFields& FieldsOf(const ConversionSettingsRecord& s) {
  return kWatermarkFields[s.doWatermark == kWatermarkImage ? 1 : 0];
}

// Where an anchor puts the overlay along one axis.
enum class Along { kStart, kCenter, kEnd };
struct Anchor {
  Along x, y;
};
// By anchor code: TOPLEFT, TOPCENTER, TOPRIGHT, MIDDLELEFT, ..., BOTTOMRIGHT.
constexpr Anchor kAnchors[] = {
    {Along::kStart, Along::kStart},  {Along::kCenter, Along::kStart},  {Along::kEnd, Along::kStart},
    {Along::kStart, Along::kCenter}, {Along::kCenter, Along::kCenter}, {Along::kEnd, Along::kCenter},
    {Along::kStart, Along::kEnd},    {Along::kCenter, Along::kEnd},    {Along::kEnd, Along::kEnd},
};

// Centring truncates toward zero, so the odd pixel, of room to spare or of overhang, falls
// on the right or bottom side either way.
int64_t PlaceAlong(Along along, int64_t reference, int64_t size, int64_t offset) {
  switch (along) {
    case Along::kStart: return offset;
    case Along::kCenter: return (reference - size) / 2;
    case Along::kEnd: return reference - size - offset;
  }
  return 0;
}

struct ReferenceArea {
  int64_t x = 0, y = 0, width = 0, height = 0;
};

// The whole image, or the part inside the frame when the watermark keeps to the frame and a
// frame is drawn. Negative frame widths count as 0, so that the area ends where the drawn
// frame does.
ReferenceArea ReferenceAreaOf(int width, int height, const ConversionSettingsRecord& s) {
  if (s.*FieldsOf(s).boundary != kBoundaryFrame || s.doFrame == kFrameNone) return {0, 0, width, height};
  int64_t left = std::max(s.frSolidLeft, 0), right = std::max(s.frSolidRight, 0);
  int64_t top = std::max(s.frSolidTop, 0), bottom = std::max(s.frSolidBottom, 0);
  return {left, top, width - left - right, height - top - bottom};
}

uint8_t OpacityByte(int opacity) { return static_cast<uint8_t>(std::clamp(opacity, 0, 255)); }

bool RotatesOverlay(int angle) { return angle > 0 && angle < 360; }

// Overlays beyond the canvas side limit or kMaxOverlayPixels, before or after the turn, are
// refused.
bool IsOverlaySizeAllowed(int64_t width, int64_t height, const ConversionSettingsRecord& s) {
  if (width <= 0 || height <= 0 || width > kMaxCanvasSide || height > kMaxCanvasSide) return false;
  if (width * height > kMaxOverlayPixels) return false;
  int angle = s.*FieldsOf(s).rotation;
  if (!RotatesOverlay(angle)) return true;
  double radians = angle * std::numbers::pi / 180;
  double cosine = std::abs(std::cos(radians)), sine = std::abs(std::sin(radians));
  const double w = static_cast<double>(width), h = static_cast<double>(height);
  double turnedWidth = std::ceil(w * cosine + h * sine) + 2, turnedHeight = std::ceil(w * sine + h * cosine) + 2;
  return turnedWidth * turnedHeight <= static_cast<double>(kMaxOverlayPixels);
}

// ---- text overlay ----

struct TextBox {
  std::vector<std::string> lines;
  bool multiLine = false;  // a single line is drawn at (padding, padding) whatever the alignment
  int64_t width = 10;
  int64_t height = 10;
  int64_t lineStep = 0;
};

// The fields between "%eol%" marks in any letter case; empty fields count.
std::vector<std::string> SplitLines(const std::string& text) {
  return SplitAt(ReplaceAllNoCase(text, kLineBreak, kLineBreak), kLineBreak);
}

int RasterWidth(cairo_t* drawing, const std::string& line) {
  double width = MeasureText(drawing, watermarkFont, line).width;
  return static_cast<int>(std::clamp(std::lround(width), 0L, long{kMaxCanvasSide} * 4));
}

// The box of the text without padding, measured as raster text.
TextBox MeasureTextBox(cairo_surface_t* canvas, const std::string& text, const ConversionSettingsRecord& s) {
  TextBox box;
  DrawingPtr drawing = StartDrawing(canvas);
  if (!drawing) {
    box.lines = {text};
    return box;
  }
  SelectFont(drawing.get(), watermarkFont, TextMode::kRaster);
  box.lines = SplitLines(text);
  if (box.lines.size() == 1) {
    box.width = RasterWidth(drawing.get(), text);
    box.height = MeasureText(drawing.get(), watermarkFont, text).height;
    return box;
  }
  box.multiLine = true;
  for (const std::string& line : box.lines) {
    box.width = std::max<int64_t>(box.width, RasterWidth(drawing.get(), line));
    box.height = std::max<int64_t>(box.height, MeasureText(drawing.get(), watermarkFont, line).height);
  }
  int64_t lineHeight = box.height;
  box.lineStep = lineHeight + s.wmFontLeading;
  box.height = lineHeight + static_cast<int64_t>(box.lines.size() - 1) * box.lineStep;
  return box;
}

int TextLeft(const TextBox& box, int lineWidth, int padding, const ConversionSettingsRecord& s) {
  return box.multiLine ? LineX(lineWidth, static_cast<int>(box.width), s) : padding;
}

// Every pixel of the box holds the background colour at the background opacity, every glyph
// pixel the text colour at the text opacity: written, not blended, so letters less opaque
// than the box show through it.
void DrawRasterText(cairo_surface_t* canvas, const TextBox& box, int padding, const ConversionSettingsRecord& s) {
  uint32_t text = ParseHexColorAlpha(s.wmFontColor, OpacityByte(s.wmTextOpacity));
  uint32_t back = ParseHexColorAlpha(s.wmBackColor, OpacityByte(s.wmBackOpacity));
  DrawingPtr drawing = StartDrawing(canvas);
  if (!drawing) return;
  cairo_t* cr = drawing.get();
  SetWriteMode(cr, WriteMode::kReplace);
  SetAntialias(cr, false);
  SelectFont(cr, watermarkFont, TextMode::kRaster);
  // The box is still uniformly transparent, so a flood fill from (1, 1) reaches every pixel;
  // on a box too small to hold that point it fills nothing.
  if (box.width > 1 && box.height > 1) {
    SetFillColor(cr, back);
    FillCanvas(cr);
  }
  int64_t top = padding;
  for (const std::string& line : box.lines) {
    TextMetrics metrics = MeasureText(cr, watermarkFont, line);
    int left = TextLeft(box, RasterWidth(cr, line), padding, s);
    SetFillColor(cr, back);  // the text cell's own background
    FillRectangle(cr, left, static_cast<double>(top), std::round(metrics.width), metrics.height);
    SetFillColor(cr, text);
    DrawText(cr, watermarkFont, TextMode::kRaster, line, left, static_cast<double>(top));
    top += box.lineStep;
  }
}

// Antialiased text on its own canvas; the overlay is the background at the background
// opacity with the text laid over it at the text opacity.
CanvasPtr DrawVectorText(cairo_surface_t* canvas, const TextBox& box, int padding, const ConversionSettingsRecord& s) {
  int width = static_cast<int>(box.width), height = static_cast<int>(box.height);
  if (DrawingPtr drawing = StartDrawing(canvas)) {
    cairo_t* cr = drawing.get();
    SelectFont(cr, watermarkFont, TextMode::kVector);
    SetFillColor(cr, ParseHexColorAlpha(s.wmFontColor, 255));
    int64_t top = padding;
    for (const std::string& line : box.lines) {
      double lineWidth = std::nearbyint(MeasureText(cr, watermarkFont, line).width);  // ties to even
      int left = TextLeft(box, static_cast<int>(std::min(lineWidth, double{kMaxCanvasSide} * 4)), padding, s);
      DrawText(cr, watermarkFont, TextMode::kVector, line, left, static_cast<double>(top));
      top += box.lineStep;
    }
  }
  CanvasPtr background = CreateFilledCanvas(width, height, ParseHexColorAlpha(s.wmBackColor, 255));
  CanvasPtr overlay = CreateCanvas(width, height);
  if (!overlay) return overlay;
  DrawCanvas(overlay.get(), background.get(), s.wmBackOpacity);
  background.reset();
  DrawCanvas(overlay.get(), canvas, s.wmTextOpacity);
  return overlay;
}

BitmapPtr RenderTextOverlay(const std::string& text, const ConversionSettingsRecord& s) {
  // A line taller than any canvas cannot be drawn; asking FreeType for it would only waste time.
  if (!watermarkFont.face || watermarkFont.pixelSize > kMaxCanvasSide) return nullptr;
  CanvasPtr canvas = CreateCanvas(10, 10);
  if (!canvas) return nullptr;
  TextBox box = MeasureTextBox(canvas.get(), text, s);
  int padding = s.wmTextPadding;
  box.width += 2 * int64_t{padding};
  box.height += 2 * int64_t{padding};
  if (!IsOverlaySizeAllowed(box.width, box.height, s)) return nullptr;
  if (!ResizeBlankCanvas(canvas, static_cast<int>(box.width), static_cast<int>(box.height))) return nullptr;
  if (s.wmTextAntialiasing == 0) {
    DrawRasterText(canvas.get(), box, padding, s);
    return CanvasToBitmap(canvas.get());
  }
  CanvasPtr overlay = DrawVectorText(canvas.get(), box, padding, s);
  canvas.reset();
  return CanvasToBitmap(overlay.get());
}

// ---- picture overlay ----

// The overlay to lay on the image. None leaves the image as it is, unless `unusable`: a
// watermark picture that was read but cannot be drawn fails the stage rather than let the
// image pass without the watermark it was asked to carry.
struct Overlay {
  BitmapPtr bitmap;
  bool unusable = false;
};

// An opaque picture is laid on opaque black, so below full opacity it darkens and still
// covers the photo; a picture with any transparency starts from a transparent canvas, so its
// transparent parts stay see-through whatever its depth.
Overlay RenderPictureOverlay(const ConversionSettingsRecord& s) {
  Picture picture;
  const PictureRead read = ReadPicture(s.wmImage, kMaxOverlayPixels, picture);
  if (read != PictureRead::kRead) return {nullptr, read == PictureRead::kUnusable};
  if (!IsOverlaySizeAllowed(picture.width, picture.height, s)) return {nullptr, true};
  CanvasPtr overlay = picture.transparent ? CreateCanvas(picture.width, picture.height)
                                          : CreateFilledCanvas(picture.width, picture.height, 0xFF000000);
  if (!overlay) return {nullptr, true};
  DrawCanvas(overlay.get(), picture.canvas.get(), s.wmImageOpacity, s.wmImageGreyscale ? GreyFilter : nullptr);
  picture.canvas.reset();
  BitmapPtr bitmap = CanvasToBitmap(overlay.get());
  const bool unusable = !bitmap;
  return {std::move(bitmap), unusable};
}

Overlay RenderOverlay(const std::string& text, const ConversionSettingsRecord& s) {
  switch (s.doWatermark) {
    case kWatermarkText: return {RenderTextOverlay(text, s)};
    case kWatermarkImage: return RenderPictureOverlay(s);
    default: return {};
  }
}

}  // namespace

bool CreateWatermarkFont(const ConversionSettingsRecord& s) {
  FontRequest request;
  request.family = s.wmFont;
  request.pointSize = s.wmFontSize;
  request.bold = s.wmFontStyle == kStyleBold || s.wmFontStyle == kStyleBoldItalic;
  request.italic = s.wmFontStyle == kStyleItalic || s.wmFontStyle == kStyleBoldItalic;
  request.underline = s.wmFontEffect == kEffectUnderline;
  request.strikeOut = s.wmFontEffect == kEffectStrikeOut;
  return CreateFont(request, watermarkFont);
}

void ReleaseWatermarkFont() { watermarkFont = {}; }

int LineX(int lineWidth, int boxWidth, const ConversionSettingsRecord& s) {
  int padding = s.wmTextPadding;
  switch (s.wmTextAlignment) {
    case kAlignLeft: return padding;
    case kAlignCenter:
      return static_cast<int>(std::lround((static_cast<float>(boxWidth) - static_cast<float>(lineWidth)) / 2.0f));
    case kAlignRight:
      return static_cast<int>(std::clamp<int64_t>(int64_t{boxWidth} - lineWidth - padding, INT32_MIN, INT32_MAX));
    default: return 0;
  }
}

BitmapPtr RotateWatermark(BitmapPtr overlay, const ConversionSettingsRecord& s) {
  int angle = s.*FieldsOf(s).rotation;
  if (!overlay || !RotatesOverlay(angle)) return overlay;
  return AdoptBitmap(FreeImage_Rotate(overlay.get(), angle, nullptr));
}

BitmapPtr CropWatermarkToFit(BitmapPtr overlay, int width, int height, int overlayWidth, int overlayHeight,
                             const ConversionSettingsRecord& s) {
  if (!overlay) return overlay;
  ReferenceArea area = ReferenceAreaOf(width, height, s);
  int64_t xOffset = s.*FieldsOf(s).xOffset, yOffset = s.*FieldsOf(s).yOffset;
  int64_t keptWidth = overlayWidth, keptHeight = overlayHeight;
  if (keptWidth + xOffset > area.width) keptWidth = area.width - xOffset;
  if (keptHeight + yOffset > area.height) keptHeight = area.height - yOffset;
  if (keptWidth == overlayWidth && keptHeight == overlayHeight) return overlay;
  if (keptWidth <= 0 || keptHeight <= 0) return nullptr;
  return AdoptBitmap(FreeImage_Copy(overlay.get(), 0, 0, static_cast<int>(keptWidth), static_cast<int>(keptHeight)));
}

WatermarkPosition PlaceWatermark(int width, int height, int overlayWidth, int overlayHeight,
                                 const ConversionSettingsRecord& s) {
  const WatermarkFields& fields = FieldsOf(s);
  ReferenceArea area = ReferenceAreaOf(width, height, s);
  int code = s.*fields.position;
  WatermarkPosition position;
  if (code >= 0 && code < static_cast<int>(std::size(kAnchors))) {
    position.x = PlaceAlong(kAnchors[code].x, area.width, overlayWidth, s.*fields.xOffset);
    position.y = PlaceAlong(kAnchors[code].y, area.height, overlayHeight, s.*fields.yOffset);
  }
  position.x += area.x;
  position.y += area.y;
  return position;
}

uint32_t GreyFilter(uint32_t rgba) {
  uint32_t grey = (77 * (rgba & 0xFF) + 150 * ((rgba >> 8) & 0xFF) + 29 * ((rgba >> 16) & 0xFF)) >> 8;
  return grey | grey << 8 | grey << 16 | (rgba & 0xFF000000);
}

BitmapPtr ApplyWatermark(BitmapPtr image, int width, int height, const std::string& text,
                         const ConversionSettingsRecord& s) {
  if (s.doWatermark == kWatermarkNone || !image) return image;
  image = ConvertToRgb24(std::move(image));
  if (!image) return image;
  Overlay rendered = RenderOverlay(text, s);
  if (!rendered.bitmap) return rendered.unusable ? nullptr : std::move(image);
  BitmapPtr overlay = std::move(rendered.bitmap);
  overlay = RotateWatermark(std::move(overlay), s);
  if (overlay) overlay = CropWatermarkToFit(std::move(overlay), width, height, WidthOf(overlay), HeightOf(overlay), s);
  // Nothing left to lay on the image (an offset beyond the reference area, or no memory for
  // the turn): the stage fails rather than save the photo without the watermark asked for.
  if (!overlay) return nullptr;
  WatermarkPosition position = PlaceWatermark(width, height, WidthOf(overlay), HeightOf(overlay), s);
  // The layer has the size the pipeline reported; laying it on a bitmap of another size fails.
  if (WidthOf(image) != width || HeightOf(image) != height) return nullptr;
  if (!CompositePastedOverlay(image.get(), overlay.get(), position.x, position.y)) return nullptr;
  return image;
}
