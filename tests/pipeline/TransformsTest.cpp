#include "pipeline/Transforms.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "convert/ConversionJob.h"
#include "pipeline/Loading.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/TestBitmaps.h"

namespace {

// Tolerances: geometry, flips, threshold and dither are exact; colour adjustments are
// within 1 level (FreeImage rounds its lookup table).

class TransformsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
};

unsigned WidthOf(const BitmapPtr& b) { return FreeImage_GetWidth(b.get()); }
unsigned HeightOf(const BitmapPtr& b) { return FreeImage_GetHeight(b.get()); }

BitmapPtr Quadrants(int width, int height, int bpp = 24) {
  return MakeTestBitmap(width, height, bpp, TestPattern::kQuadrants);
}

BitmapPtr Blank(int width, int height, int bpp = 8) { return AdoptBitmap(FreeImage_Allocate(width, height, bpp)); }

BitmapPtr Copy(const BitmapPtr& b) { return AdoptBitmap(FreeImage_Clone(b.get())); }

void Rotate(ConversionSettingsRecord& settings, int degrees, int8_t type = 0, const char* background = "000000") {
  settings.doRotation = 1;
  settings.rotation = degrees;
  settings.rotationType = type;
  settings.rotationBackColor = background;
}

// ---- rotation -------------------------------------------------------------------------

TEST_F(TransformsTest, QuarterTurnSwapsTheSidesCounterClockwise) {
  BitmapPtr input = Quadrants(31, 17);
  Rotate(settings, 90);
  BitmapPtr turned = ApplyRotation(Copy(input), settings);
  ASSERT_TRUE(turned);
  ASSERT_EQ(WidthOf(turned), 17u);
  ASSERT_EQ(HeightOf(turned), 31u);
  for (int y = 0; y < 31; ++y)
    for (int x = 0; x < 17; ++x) ASSERT_EQ(PixelAt(turned.get(), x, y), PixelAt(input.get(), 30 - y, x));
}

TEST_F(TransformsTest, FourQuarterTurnsGiveTheInputBack) {
  BitmapPtr input = MakeTestBitmap(31, 17, 24, TestPattern::kGradient);
  Rotate(settings, 90);
  BitmapPtr turned = Copy(input);
  for (int i = 0; i < 4; ++i) turned = ApplyRotation(std::move(turned), settings);
  EXPECT_EQ(ComparePixels(turned.get(), input.get(), 0), "");
}

TEST_F(TransformsTest, SimpleTurnGrowsTheCanvasAndFillsTheCorners) {
  const struct {
    const char* background;
    Rgb8 corner;
  } cases[] = {{"ff8000", {255, 128, 0}}, {"#FF8000", {0, 0, 0}}, {"00ff0", {0, 0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.background);
    Rotate(settings, 45, 0, c.background);
    BitmapPtr turned = ApplyRotation(Quadrants(40, 30), settings);
    ASSERT_TRUE(turned);
    EXPECT_GT(WidthOf(turned), 40u);
    EXPECT_GT(HeightOf(turned), 30u);
    EXPECT_EQ(PixelAt(turned.get(), 0, 0), c.corner);
    EXPECT_EQ(PixelAt(turned.get(), static_cast<int>(WidthOf(turned)) - 1, 0), c.corner);
  }
}

TEST_F(TransformsTest, AdvancedTurnKeepsTheCanvas) {
  Rotate(settings, 45, 1, "ff8000");
  BitmapPtr turned = ApplyRotation(Quadrants(40, 30), settings);
  ASSERT_TRUE(turned);
  EXPECT_EQ(WidthOf(turned), 40u);
  EXPECT_EQ(HeightOf(turned), 30u);
  EXPECT_NE(PixelAt(turned.get(), 0, 0), (Rgb8{255, 128, 0})) << "the background colour plays no part";
}

TEST_F(TransformsTest, GreyAndDeepBitmapsAreTurnedAs24Bits) {
  Rotate(settings, 90);
  for (int bpp : {8, 16, 48}) {
    SCOPED_TRACE(bpp);
    BitmapPtr turned = ApplyRotation(Quadrants(20, 10, bpp), settings);
    ASSERT_TRUE(turned);
    EXPECT_EQ(FreeImage_GetBPP(turned.get()), 24u);
    EXPECT_EQ(WidthOf(turned), 10u);
  }
}

TEST_F(TransformsTest, AnglesOutsideTheOpenRangeChangeNothing) {
  for (int degrees : {0, 360, -90, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(degrees);
    Rotate(settings, degrees);
    BitmapPtr input = Quadrants(20, 10, 8);
    FIBITMAP* before = input.get();
    BitmapPtr output = ApplyRotation(std::move(input), settings);
    EXPECT_EQ(output.get(), before);
    EXPECT_EQ(FreeImage_GetBPP(output.get()), 8u);
  }
  settings.doRotation = 0;
  settings.rotation = 90;
  BitmapPtr input = Quadrants(20, 10);
  FIBITMAP* before = input.get();
  EXPECT_EQ(ApplyRotation(std::move(input), settings).get(), before);
}

TEST_F(TransformsTest, TurnThatWouldExceedTheLimitsFails) {
  // A thin strip of 400 KB turned by 45 degrees needs a canvas of about 46000 x 46000.
  Rotate(settings, 45);
  EXPECT_FALSE(ApplyRotation(Blank(65535, 2, 24), settings));
  Rotate(settings, 90);
  EXPECT_TRUE(ApplyRotation(Blank(65535, 2, 24), settings));
}

// ---- resizing -------------------------------------------------------------------------

struct ResizeCase {
  const char* name;
  int width, height;
  int32_t targetWidth;
  int8_t widthUnit;
  int32_t targetHeight;
  int8_t heightUnit;
  bool keepAspect;
  int8_t type;  // 0 ALLIMAGES, 1 LARGEIMAGES
  unsigned expectedWidth, expectedHeight;
  bool unchanged;  // the same bitmap comes back
};

TEST_F(TransformsTest, ResizeFollowsTheTargetRules) {
  const ResizeCase cases[] = {
      {"landscape keeps proportions", 6000, 4000, 1000, 0, 1000, 0, true, 0, 1000, 667, false},
      {"portrait uses the height target", 3000, 4000, 800, 0, 600, 0, true, 0, 450, 600, false},
      {"the targets, not the adjusted size, decide", 1000, 667, 1000, 0, 1000, 0, true, 0, 1000, 667, false},
      {"a target of 0 pixels", 40, 40, 1, 1, 1, 1, false, 0, 40, 40, true},
      {"50 percent of 1001 rounds to even", 1001, 1001, 50, 1, 50, 1, false, 0, 500, 500, false},
      {"large image reaching the target", 1200, 800, 1000, 0, 1000, 0, false, 1, 1000, 1000, false},
      {"small image under LARGEIMAGES", 800, 600, 1000, 0, 1000, 0, false, 1, 800, 600, true},
      {"small image under ALLIMAGES", 800, 600, 1000, 0, 1000, 0, false, 0, 1000, 1000, false},
      {"the same size", 800, 600, 800, 0, 600, 0, false, 0, 800, 600, true},
      {"a negative target", 800, 600, -800, 0, 600, 0, false, 0, 800, 600, true},
      {"an unknown unit", 800, 600, 100, 7, 600, 0, false, 0, 800, 600, true},
  };
  for (const ResizeCase& c : cases) {
    SCOPED_TRACE(c.name);
    settings.doResize = 1;
    settings.width = c.targetWidth;
    settings.widthUnit = c.widthUnit;
    settings.height = c.targetHeight;
    settings.heightUnit = c.heightUnit;
    settings.keepAspectRatio = c.keepAspect;
    settings.resizeType = c.type;
    BitmapPtr input = Blank(c.width, c.height);
    FIBITMAP* before = input.get();
    BitmapPtr output = ApplyResize(std::move(input), ResizeTarget({c.width, c.height}, settings), settings);
    ASSERT_TRUE(output);
    EXPECT_EQ(WidthOf(output), c.expectedWidth);
    EXPECT_EQ(HeightOf(output), c.expectedHeight);
    EXPECT_EQ(output.get() == before, c.unchanged);
  }
}

TEST_F(TransformsTest, ResizeThatWouldExceedTheLimitsFails) {
  const struct {
    const char* name;
    int32_t width;
    int8_t widthUnit;
    int32_t height;
    bool keepAspect;
  } cases[] = {
      {"two billion pixels wide", INT_MAX, 0, 100, false},
      {"a million percent", 1000000, 1, 100, false},
      {"a side beyond a JPEG's", 70000, 0, 10, false},
      {"proportions make it too large", 65535, 0, 1, true},  // 65535 x 43690 at 24 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings.doResize = 1;
    settings.width = c.width;
    settings.widthUnit = c.widthUnit;
    settings.height = c.height;
    settings.keepAspectRatio = c.keepAspect;
    EXPECT_FALSE(ApplyResize(Blank(60, 40, 24), ResizeTarget({60, 40}, settings), settings));
  }
}

// A decoder may hand over a smaller image only where the resize shrinks it to half or less
// both ways, keeping half again of the target; never before a rotation or for BOX.
TEST_F(TransformsTest, ReducedDecodeOnlyWhereTheResizeHalvesTheImage) {
  const struct {
    const char* name;
    int width, height;
    int32_t target;
    int8_t unit;
    bool keepAspect;
    int8_t algorithm;
    int rotation;
    bool reduced;
    int smallestWidth, smallestHeight;
  } cases[] = {
      {"a quarter, keeping proportions", 6000, 4000, 1600, 0, true, 5, 0, true, 2400, 1601},
      {"25 percent of odd sides", 1001, 801, 25, 1, false, 3, 0, true, 375, 300},
      {"exactly half", 800, 600, 400, 0, true, 1, 0, true, 600, 450},
      {"just over half", 800, 600, 401, 0, true, 1, 0, false, 0, 0},
      {"BOX", 6000, 4000, 1600, 0, true, 0, 0, false, 0, 0},
      {"a rotation first", 6000, 4000, 1600, 0, true, 5, 90, false, 0, 0},
      {"no resize", 6000, 4000, 0, 0, true, 5, 0, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings.doResize = c.target != 0;
    settings.width = settings.height = c.target;
    settings.widthUnit = settings.heightUnit = c.unit;
    settings.keepAspectRatio = c.keepAspect;
    settings.resizeAlgorithm = c.algorithm;
    settings.doRotation = c.rotation != 0;
    settings.rotation = c.rotation;
    const std::optional<ReducedDecode> reduced = ReducedDecodeForResize({c.width, c.height}, settings);
    ASSERT_EQ(reduced.has_value(), c.reduced);
    if (!c.reduced) continue;
    EXPECT_EQ(reduced->smallest.width, c.smallestWidth);
    EXPECT_EQ(reduced->smallest.height, c.smallestHeight);
  }
}

TEST_F(TransformsTest, ResizeDimensionRoundsPercentHalvesToEven) {
  const struct {
    int32_t value;
    int8_t unit;
    int32_t current;
    int32_t expected;
  } cases[] = {
      {800, 0, 123, 800},
      {-5, 0, 123, -5},
      {50, 1, 5, 2},
      {50, 1, 7, 4},
      {50, 1, 1001, 500},
      {150, 1, 3, 4},
      {1, 1, 40, 0},
      {33, 1, 300, 99},
      {10, 2, 100, 0},
      {INT_MAX, 1, 65535, INT_MAX},
      {INT_MIN, 1, 65535, INT_MIN},
      {-50, 1, 10, -5},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResizeDimension(c.value, c.unit, c.current), c.expected)
        << c.value << " unit " << int{c.unit} << " of " << c.current;
}

// ---- flips ----------------------------------------------------------------------------

TEST_F(TransformsTest, FlipsMirrorAndTwoFlipsAreTheIdentity) {
  BitmapPtr input = MakeTestBitmap(31, 17, 24, TestPattern::kGradient);
  const struct {
    bool horizontal, vertical;
    std::function<Rgb8(int, int)> expected;
  } cases[] = {
      {true, false, [&](int x, int y) { return PixelAt(input.get(), 30 - x, y); }},
      {false, true, [&](int x, int y) { return PixelAt(input.get(), x, 16 - y); }},
      {true, true, [&](int x, int y) { return PixelAt(input.get(), 30 - x, 16 - y); }},
      {false, false, [&](int x, int y) { return PixelAt(input.get(), x, y); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.horizontal) + std::to_string(c.vertical));
    settings.flipHorizontal = c.horizontal;
    settings.flipVertical = c.vertical;
    BitmapPtr once = ApplyFlips(Copy(input), settings);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 31; ++x) ASSERT_EQ(PixelAt(once.get(), x, y), c.expected(x, y)) << x << "," << y;
    BitmapPtr twice = ApplyFlips(std::move(once), settings);
    EXPECT_EQ(ComparePixels(twice.get(), input.get(), 0), "");
  }
}

// ---- colour adjustment ----------------------------------------------------------------

TEST_F(TransformsTest, EachAdjustmentAloneLeavesTheOthersNeutral) {
  const struct {
    const char* name;
    int32_t brightness, contrast;
    float gamma;
    bool invert;
    int expected;  // from mid grey 100
  } cases[] = {
      {"brightness 20", 20, 0, 1.0f, false, 120},
      {"invert", 0, 0, 1.0f, true, 155},
      {"gamma 2", 0, 0, 2.0f, false, 160},      // 255 * (100/255)^(1/2)
      {"contrast 50", 0, 50, 1.0f, false, 86},  // 128 + (100 - 128) * 1.5
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings.doColorCorrection = 1;
    settings.brightness = c.brightness;
    settings.contrast = c.contrast;
    settings.gamma = c.gamma;
    settings.invert = c.invert;
    BitmapPtr adjusted = ApplyColorAdjustment(MakeTestBitmap(9, 5, 24, TestPattern::kMidGrey), settings);
    ASSERT_TRUE(adjusted);
    EXPECT_TRUE(Near(PixelAt(adjusted.get(), 4, 2), Rgb8{c.expected, c.expected, c.expected}, 1))
        << ToString(PixelAt(adjusted.get(), 4, 2));
  }
}

TEST_F(TransformsTest, AdjustmentWidensShallowAndDeepBitmapsTo24Bits) {
  settings.doColorCorrection = 1;
  settings.invert = 1;
  for (int bpp : {1, 4, 48}) {
    SCOPED_TRACE(bpp);
    BitmapPtr adjusted = ApplyColorAdjustment(MakeTestBitmap(9, 5, bpp, TestPattern::kMidGrey), settings);
    ASSERT_TRUE(adjusted);
    EXPECT_EQ(FreeImage_GetBPP(adjusted.get()), 24u);
  }
  BitmapPtr refused = ApplyColorAdjustment(MakeTestBitmap(9, 5, 16, TestPattern::kMidGrey), settings);
  ASSERT_TRUE(refused);
  EXPECT_EQ(FreeImage_GetBPP(refused.get()), 16u) << "FreeImage does not adjust 16-bit bitmaps";
}

// ---- greyscale, threshold, dither ------------------------------------------------------

TEST_F(TransformsTest, GreyscaleThenThresholdSplitsTheGreyLevels) {
  settings.greyscale = 1;
  settings.doThreshold = 1;
  settings.threshold = 256 + 128;  // only the low 8 bits count
  BitmapPtr grey = ApplyGreyscale(Quadrants(20, 20, 48), settings);
  ASSERT_TRUE(grey);
  ASSERT_EQ(FreeImage_GetBPP(grey.get()), 8u);
  for (int q = 0; q < 4; ++q) {
    const Rgb8 color = PatternColor(TestPattern::kQuadrants, 20, 20, q % 2 * 10, q / 2 * 10);
    EXPECT_NEAR(PixelAt(grey.get(), q % 2 * 10 + 5, q / 2 * 10 + 5).red, GreyOf(color), 1) << "quadrant " << q;
  }
  BitmapPtr split = ApplyThreshold(std::move(grey), settings);
  ASSERT_TRUE(split);
  ASSERT_EQ(FreeImage_GetBPP(split.get()), 1u);
  // Grey levels: red 94, green 146, blue 61, light grey 230.
  EXPECT_EQ(PixelAt(split.get(), 5, 5).red, 0);
  EXPECT_EQ(PixelAt(split.get(), 15, 5).red, 255);
  EXPECT_EQ(PixelAt(split.get(), 5, 15).red, 0);
  EXPECT_EQ(PixelAt(split.get(), 15, 15).red, 255);
}

TEST_F(TransformsTest, ThresholdThenDitherDithersTheWidenedResult) {
  settings.doThreshold = 1;
  settings.threshold = 128;
  settings.doDither = 1;
  BitmapPtr split = ApplyThreshold(Quadrants(16, 16), settings);
  ASSERT_TRUE(split);
  BitmapPtr expected = Copy(split);
  BitmapPtr dithered = ApplyDither(std::move(split), settings);
  ASSERT_TRUE(dithered);
  EXPECT_EQ(FreeImage_GetBPP(dithered.get()), 1u);
  // Black and white pixels have no error to spread, so dithering them again changes nothing.
  EXPECT_EQ(ComparePixels(dithered.get(), expected.get(), 0), "");
}

// ---- every stage -----------------------------------------------------------------------

TEST_F(TransformsTest, NullPassesEveryStage) {
  ConversionSettingsRecord& s = settings;
  s.rawLoadAs = kLoadAs48;
  s.doRotation = s.doResize = s.flipHorizontal = s.flipVertical = s.doColorCorrection = 1;
  s.greyscale = s.doThreshold = s.doDither = 1;
  s.rotation = 45;
  s.width = s.height = 10;
  const std::function<BitmapPtr(BitmapPtr, const ConversionSettingsRecord&)> stages[] = {
      ApplyRotation,
      [](BitmapPtr b, const ConversionSettingsRecord& given) {
        return ApplyResize(std::move(b), TargetSize{10, 10}, given);
      },
      ApplyToneMapping,
      ApplyFlips,
      ApplyColorAdjustment,
      ApplyGreyscale,
      ApplyThreshold,
      ApplyDither,
  };
  for (const auto& stage : stages) EXPECT_FALSE(stage(nullptr, s));
}

}  // namespace
