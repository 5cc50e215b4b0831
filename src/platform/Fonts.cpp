#include "platform/Fonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/Text.h"

namespace {

struct FontPatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using FontPatternPtr = std::unique_ptr<FcPattern, FontPatternDeleter>;

// Family names compare as fontconfig compares them: letter case and spaces ignored.
std::string FamilyKey(std::string_view family) {
  std::string key = ToLower(family);
  key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
  return key;
}

// fontconfig 2.14 loses a few hundred bytes while it parses its configuration files, once
// per process. That memory is not this program's to free; in sanitizer builds the loading
// is done up front with the leak check paused, so that it does not fail every run that
// uses a font while leaks of our own are still found.
void LoadFontConfiguration() {
  static std::once_flag loaded;
  std::call_once(loaded, [] {
#ifdef __SANITIZE_ADDRESS__
    __lsan_disable();
#endif
    FcInit();
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
  });
}

FontPatternPtr RequestPattern(const std::string& family, bool bold, bool italic) {
  LoadFontConfiguration();
  FontPatternPtr pattern(FcPatternCreate());
  if (!pattern) return pattern;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

// After substitution the requested name and its metric-compatible aliases are bound
// strongly; the generic fallback chain (sans-serif, DejaVu Sans, ...) weakly.
bool IsStrongFamily(FcPattern* request, const std::string& familyKey) {
  FcValue value;
  FcValueBinding binding;
  for (int i = 0; FcPatternGetWithBinding(request, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
    if (value.type != FcTypeString || binding == FcValueBindingWeak) continue;
    if (FamilyKey(reinterpret_cast<const char*>(value.u.s)) == familyKey) return true;
  }
  return false;
}

// A font may carry several family names (one per language); any of them may be the match.
bool MatchIsAvailable(FcPattern* request, FcPattern* match) {
  FcChar8* family = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i)
    if (IsStrongFamily(request, FamilyKey(reinterpret_cast<const char*>(family)))) return true;
  return false;
}

std::string FirstFamily(FcPattern* match) {
  FcChar8* family = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) != FcResultMatch || !family) return {};
  return reinterpret_cast<const char*>(family);
}

// The matched font for a request, or null when its family is not available.
FontPatternPtr MatchAvailableFont(const std::string& family, bool bold, bool italic, std::string* matched) {
  FontPatternPtr request = RequestPattern(family, bold, italic);
  if (!request) return nullptr;
  FcResult result;
  FontPatternPtr match(FcFontMatch(nullptr, request.get(), &result));
  if (!match) return nullptr;
  if (matched) *matched = FirstFamily(match.get());
  if (!MatchIsAvailable(request.get(), match.get())) return nullptr;
  return match;
}

// ---- text ----

// cairo stops drawing for good at the first invalid UTF-8 string, so such bytes become U+FFFD.
std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t decoded = 0;
    size_t length = DecodeUtf8(text, pos, decoded);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++pos;
    } else {
      valid.append(text.substr(pos, length));
      pos += length;
    }
  }
  return valid;
}

struct LineMetrics {
  double position = 0;  // top of the line, pixels above the baseline
  double thickness = 0;
};

// Underline and strike-out positions as the font file states them: the underline from its
// PostScript table, the strike-out from its OS/2 table (half the x-height when it has none).
void ReadDecorationMetrics(cairo_t* drawing, int pixelSize, LineMetrics& underline, LineMetrics& strikeOut) {
  cairo_scaled_font_t* scaled = cairo_get_scaled_font(drawing);
  FT_Face face = cairo_ft_scaled_font_lock_face(scaled);
  if (!face) return;
  double scale = face->units_per_EM ? pixelSize / static_cast<double>(face->units_per_EM) : 0;
  underline.thickness = face->underline_thickness * scale;
  underline.position = face->underline_position * scale + underline.thickness / 2;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->yStrikeoutSize > 0) {
    strikeOut.thickness = os2->yStrikeoutSize * scale;
    strikeOut.position = os2->yStrikeoutPosition * scale;
  } else {
    strikeOut.thickness = underline.thickness;
    strikeOut.position = face->ascender * scale / 3 + strikeOut.thickness / 2;
  }
  cairo_ft_scaled_font_unlock_face(scaled);
}

void FillLine(cairo_t* drawing, TextMode mode, double x, double baseline, double width, LineMetrics line) {
  double top = baseline - line.position;
  double thickness = line.thickness;
  if (mode == TextMode::kRaster) {
    top = std::round(top);
    thickness = std::max(1.0, std::round(thickness));
    width = std::round(width);
  }
  FillRectangle(drawing, x, top, width, thickness);
}

}  // namespace

int PointsToPixels(int points) {
  int64_t scaled = int64_t{points} * kFontDotsPerInch;
  int64_t rounded = scaled >= 0 ? (scaled + 36) / 72 : -((-scaled + 36) / 72);
  return static_cast<int>(std::clamp<int64_t>(rounded, INT_MIN, INT_MAX));
}

bool IsFontFamilyAvailable(const std::string& family, bool bold, bool italic, std::string* matched) {
  return MatchAvailableFont(family, bold, italic, matched) != nullptr;
}

bool CreateFont(const FontRequest& request, FontRecord& font) {
  font = {};
  FontPatternPtr match = MatchAvailableFont(request.family, request.bold, request.italic, &font.matchedFamily);
  if (!match) return false;
  // cairo keeps its own reference to the pattern.
  FontFacePtr face(cairo_ft_font_face_create_for_pattern(match.get()));
  if (cairo_font_face_status(face.get()) != CAIRO_STATUS_SUCCESS) return false;
  font.face = std::move(face);
  int pixels = PointsToPixels(request.pointSize);
  font.pixelSize = pixels == INT_MIN ? INT_MAX : std::abs(pixels);
  font.underline = request.underline;
  font.strikeOut = request.strikeOut;
  return true;
}

void SelectFont(cairo_t* drawing, const FontRecord& font, TextMode mode) {
  if (!font.face || font.pixelSize <= 0) return;
  FontOptionsPtr options(cairo_font_options_create());
  bool raster = mode == TextMode::kRaster;
  cairo_font_options_set_antialias(options.get(), raster ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_metrics(options.get(), raster ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
  if (!raster) cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_set_font_face(drawing, font.face.get());
  cairo_set_font_options(drawing, options.get());
  cairo_set_font_size(drawing, font.pixelSize);
}

TextMetrics MeasureText(cairo_t* drawing, const FontRecord& font, std::string_view text) {
  if (!font.face || font.pixelSize <= 0) return {};
  cairo_font_extents_t fontExtents;
  cairo_font_extents(drawing, &fontExtents);
  cairo_text_extents_t textExtents;
  cairo_text_extents(drawing, ValidUtf8(text).c_str(), &textExtents);
  if (cairo_status(drawing) != CAIRO_STATUS_SUCCESS) return {};
  return {textExtents.x_advance, static_cast<int>(std::lround(fontExtents.ascent + fontExtents.descent))};
}

void DrawText(cairo_t* drawing, const FontRecord& font, TextMode mode, std::string_view text, double x, double top) {
  if (!font.face || font.pixelSize <= 0) return;
  std::string valid = ValidUtf8(text);
  cairo_font_extents_t fontExtents;
  cairo_font_extents(drawing, &fontExtents);
  double baseline = top + fontExtents.ascent;
  if (mode == TextMode::kRaster) baseline = std::round(baseline);
  cairo_new_path(drawing);
  cairo_move_to(drawing, x, baseline);
  cairo_show_text(drawing, valid.c_str());
  if (!font.underline && !font.strikeOut) return;
  cairo_text_extents_t textExtents;
  cairo_text_extents(drawing, valid.c_str(), &textExtents);
  LineMetrics underline, strikeOut;
  ReadDecorationMetrics(drawing, font.pixelSize, underline, strikeOut);
  if (font.underline) FillLine(drawing, mode, x, baseline, textExtents.x_advance, underline);
  if (font.strikeOut) FillLine(drawing, mode, x, baseline, textExtents.x_advance, strikeOut);
}
