#pragma once
// Fonts: families resolved by fontconfig, glyphs from FreeType, drawn on canvases with cairo.
#include <string>
#include <string_view>

#include "platform/Drawing.h"

// There is no display to ask for its resolution; point sizes are taken at 96 dots per inch.
inline constexpr int kFontDotsPerInch = 96;

struct FontRequest {
  std::string family;
  int pointSize = 0;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
};

struct FontRecord {
  FontFacePtr face;  // null: no font
  std::string matchedFamily;
  int pixelSize = 0;  // the em height in pixels
  bool underline = false;
  bool strikeOut = false;
};

// points × 96 / 72, rounded half away from zero (negative sizes mirror positive ones),
// computed in 64 bits and kept within int.
int PointsToPixels(int points);

// True when fontconfig resolves `family` (with that weight and slant) to a font of that
// family, letter case and spaces ignored, or to one of its metric-compatible substitutes
// (Arial -> Liberation Sans). A generic fallback such as DejaVu Sans for an unknown name
// does not count. `matched` receives the family of the font found.
[[nodiscard]] bool IsFontFamilyAvailable(const std::string& family, bool bold, bool italic,
                                         std::string* matched = nullptr);

// Fills `font` from the request; false (and `font` emptied) when the family is not available.
// The size in pixels is PointsToPixels of the point size; a negative size counts as its
// magnitude.
[[nodiscard]] bool CreateFont(const FontRequest& request, FontRecord& font);

enum class TextMode {
  kRaster,  // glyphs without antialiasing, whole-pixel metrics
  kVector,  // antialiased outlines, fractional advance widths
};

struct TextMetrics {
  double width = 0;  // advance width of the whole string
  int height = 0;    // the font's ascent plus descent, whatever the string holds
};

// Selects the font on a drawing; later measuring and drawing use it.
void SelectFont(cairo_t* drawing, const FontRecord& font, TextMode mode);

TextMetrics MeasureText(cairo_t* drawing, const FontRecord& font, std::string_view text);

// Draws `text` in the current fill colour and write mode with its top-left corner at
// (x, top), underlined or struck out as the font asks. Bytes that are not UTF-8 are drawn
// as replacement characters.
void DrawText(cairo_t* drawing, const FontRecord& font, TextMode mode, std::string_view text, double x, double top);
