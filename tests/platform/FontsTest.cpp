#include "platform/Fonts.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

namespace {

FontRecord MakeFont(const std::string& family, int points, bool underline = false, bool strikeOut = false) {
  FontRequest request;
  request.family = family;
  request.pointSize = points;
  request.underline = underline;
  request.strikeOut = strikeOut;
  FontRecord font;
  EXPECT_TRUE(CreateFont(request, font)) << family;
  return font;
}

// Draws `text` in opaque white at (2, 2) on a fresh canvas.
CanvasPtr DrawSample(const FontRecord& font, TextMode mode, const std::string& text, int width = 200, int height = 60) {
  CanvasPtr canvas = CreateCanvas(width, height);
  DrawingPtr drawing = StartDrawing(canvas.get());
  if (mode == TextMode::kRaster) SetAntialias(drawing.get(), false);
  SelectFont(drawing.get(), font, mode);
  SetFillColor(drawing.get(), 0xFFFFFFFF);
  DrawText(drawing.get(), font, mode, text, 2, 2);
  return canvas;
}

int Alpha(cairo_surface_t* canvas, int x, int y) {
  cairo_surface_flush(canvas);
  return static_cast<int>(CanvasRow(canvas, y)[x] >> 24);
}

std::set<int> AlphaLevels(cairo_surface_t* canvas) {
  std::set<int> levels;
  for (int y = 0; y < CanvasHeight(canvas); ++y)
    for (int x = 0; x < CanvasWidth(canvas); ++x) levels.insert(Alpha(canvas, x, y));
  return levels;
}

// Rows that are covered from column `from` to column `to`, inclusive.
std::vector<int> FullRows(cairo_surface_t* canvas, int from, int to) {
  std::vector<int> rows;
  for (int y = 0; y < CanvasHeight(canvas); ++y) {
    bool full = true;
    for (int x = from; x <= to && full; ++x) full = Alpha(canvas, x, y) == 255;
    if (full) rows.push_back(y);
  }
  return rows;
}

}  // namespace

TEST(FontsTest, PointsBecomePixelsAt96DotsPerInchRoundedHalfAwayFromZero) {
  struct Case {
    int points, pixels;
  };
  for (Case c : {Case{14, 19},
                 {12, 16},
                 {10, 13},
                 {9, 12},
                 {1, 1},
                 {2, 3},
                 {0, 0},
                 {-14, -19},
                 {-2, -3},
                 {INT_MAX, INT_MAX},
                 {INT_MIN, INT_MIN}}) {
    EXPECT_EQ(PointsToPixels(c.points), c.pixels) << c.points;
  }
}

TEST(FontsTest, FamilyIsAvailableOnlyByNameOrStrongSubstitute) {
  struct Case {
    std::string family;
    bool bold, italic;
    bool available;
  };
  for (const Case& c : {Case{"Arial", false, false, true},
                        {"arial", true, true, true},
                        {"Liberation Sans", false, false, true},
                        {"LIBERATIONSANS", false, false, true},
                        {"Times New Roman", false, true, true},
                        {"NoSuchFont", false, false, false},
                        {"", false, false, false},
                        {"sans-serif", false, false, false}}) {
    std::string matched;
    EXPECT_EQ(IsFontFamilyAvailable(c.family, c.bold, c.italic, &matched), c.available)
        << c.family << " matched " << matched;
  }
  std::string matched;
  ASSERT_TRUE(IsFontFamilyAvailable("Arial", false, false, &matched));
  EXPECT_EQ(matched, "Liberation Sans");
}

TEST(FontsTest, CreateFontKeepsSizeAndEffectsOrFailsWithoutFamily) {
  FontRecord font = MakeFont("Arial", 14, true, false);
  EXPECT_TRUE(font.face);
  EXPECT_EQ(font.pixelSize, 19);
  EXPECT_TRUE(font.underline);
  EXPECT_FALSE(font.strikeOut);
  EXPECT_EQ(MakeFont("Arial", -14).pixelSize, 19);

  FontRequest missing;
  missing.family = "NoSuchFont";
  missing.pointSize = 14;
  EXPECT_FALSE(CreateFont(missing, font));
  EXPECT_FALSE(font.face);
}

TEST(FontsTest, RasterTextHasTwoAlphaLevelsAndVectorTextMany) {
  FontRecord font = MakeFont("Arial", 24);
  EXPECT_EQ(AlphaLevels(DrawSample(font, TextMode::kRaster, "Quillmark 3.2").get()), (std::set<int>{0, 255}));
  EXPECT_GT(AlphaLevels(DrawSample(font, TextMode::kVector, "Quillmark 3.2").get()).size(), 20u);
}

TEST(FontsTest, MeasuringGivesAdvanceWidthAndTheFontsHeight) {
  FontRecord font = MakeFont("Arial", 14);
  CanvasPtr canvas = CreateCanvas(10, 10);
  DrawingPtr drawing = StartDrawing(canvas.get());
  SelectFont(drawing.get(), font, TextMode::kRaster);
  TextMetrics one = MeasureText(drawing.get(), font, "M");
  TextMetrics three = MeasureText(drawing.get(), font, "MMM");
  TextMetrics dots = MeasureText(drawing.get(), font, "...");
  EXPECT_GT(one.width, 0);
  EXPECT_EQ(three.width, 3 * one.width);
  EXPECT_EQ(one.width, std::round(one.width)) << "raster widths are whole pixels";
  EXPECT_EQ(one.height, dots.height);
  EXPECT_GE(one.height, 19);  // at least the em height
  EXPECT_LE(one.height, 25);
  EXPECT_EQ(MeasureText(drawing.get(), font, "").width, 0);

  SelectFont(drawing.get(), font, TextMode::kVector);
  double vector = MeasureText(drawing.get(), font, "Hello, World").width;
  EXPECT_NE(vector, std::round(vector)) << "vector widths keep their fraction";
}

TEST(FontsTest, UnderlineAndStrikeOutCoverTheTextWidth) {
  const std::string text = "aaaa";
  CanvasPtr plain = DrawSample(MakeFont("Arial", 24), TextMode::kRaster, text);
  // "a" never covers a whole row across several letters; a line does.
  EXPECT_TRUE(FullRows(plain.get(), 4, 40).empty());
  int letterTop = -1, letterBottom = -1;
  for (int y = 0; y < CanvasHeight(plain.get()); ++y)
    for (int x = 0; x < CanvasWidth(plain.get()); ++x)
      if (Alpha(plain.get(), x, y)) {
        if (letterTop < 0) letterTop = y;
        letterBottom = y;
      }
  ASSERT_GE(letterTop, 0);
  std::vector<int> under =
      FullRows(DrawSample(MakeFont("Arial", 24, true, false), TextMode::kRaster, text).get(), 4, 40);
  std::vector<int> strike =
      FullRows(DrawSample(MakeFont("Arial", 24, false, true), TextMode::kRaster, text).get(), 4, 40);
  ASSERT_FALSE(under.empty());
  ASSERT_FALSE(strike.empty());
  EXPECT_GT(under.front(), letterBottom) << "the underline lies under the baseline";
  EXPECT_GT(strike.front(), letterTop) << "the strike-out crosses the letters";
  EXPECT_LT(strike.back(), letterBottom);
}

TEST(FontsTest, InvalidUtf8DoesNotStopLaterDrawing) {
  FontRecord font = MakeFont("Arial", 14);
  CanvasPtr canvas = CreateCanvas(200, 40);
  DrawingPtr drawing = StartDrawing(canvas.get());
  SelectFont(drawing.get(), font, TextMode::kRaster);
  SetFillColor(drawing.get(), 0xFFFFFFFF);
  EXPECT_GT(MeasureText(drawing.get(), font, "a\xFF\xC3").width, 0);
  DrawText(drawing.get(), font, TextMode::kRaster, "bad \xE2\x82", 2, 2);
  EXPECT_EQ(cairo_status(drawing.get()), CAIRO_STATUS_SUCCESS);
  EXPECT_GT(AlphaLevels(canvas.get()).count(255), 0u);
}
