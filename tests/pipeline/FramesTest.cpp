#include "pipeline/Frames.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "pipeline/Overlays.h"
#include "platform/Drawing.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/SolidBitmaps.h"

namespace {

const Rgb8 kGrey{100, 100, 100};
const Rgb8 kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0}, kBlack{0, 0, 0};

class FramesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  ConversionSettingsRecord settings = DefaultConversionSettings(true);

  void SetWidths(int left, int right, int top, int bottom) {
    settings.doFrame = kFrameSolid;
    settings.frSolidLeft = left;
    settings.frSolidRight = right;
    settings.frSolidTop = top;
    settings.frSolidBottom = bottom;
  }
  void SetColours(const char* top, const char* right, const char* bottom, const char* left) {
    settings.frSolidTopColor = top;
    settings.frSolidRightColor = right;
    settings.frSolidBottomColor = bottom;
    settings.frSolidLeftColor = left;
  }
  BitmapPtr Framed(int width, int height, int bpp = 24) {
    return ApplySolidFrame(MakeSolidBitmap(width, height, bpp, kGrey), width, height, settings);
  }
};

struct Sample {
  int x, y;
  Rgb8 color;
};

// Pixels away from the diagonal seams hold exactly their side's colour or the photo's.
void ExpectSamples(FIBITMAP* image, const std::vector<Sample>& samples) {
  for (const Sample& s : samples)
    EXPECT_EQ(ToString(PixelAt(image, s.x, s.y)), ToString(s.color)) << "at " << s.x << "," << s.y;
}

// The figure through absolute corners, as path text.
std::string PathThrough(std::vector<std::pair<int, int>> corners) {
  std::string text = "M " + std::to_string(corners[0].first) + " " + std::to_string(corners[0].second);
  for (size_t i = 1; i < corners.size(); ++i)
    text += " l " + std::to_string(corners[i].first - corners[i - 1].first) + " " +
            std::to_string(corners[i].second - corners[i - 1].second);
  return text + " Z";
}

BitmapPtr PngOf(cairo_surface_t* canvas) {
  std::vector<unsigned char> png;
  auto write = [](void* closure, const unsigned char* data, unsigned length) {
    static_cast<std::vector<unsigned char>*>(closure)->insert(static_cast<std::vector<unsigned char>*>(closure)->end(),
                                                              data, data + length);
    return CAIRO_STATUS_SUCCESS;
  };
  cairo_surface_write_to_png_stream(canvas, write, &png);
  MemoryStreamPtr stream(FreeImage_OpenMemory(png.data(), static_cast<DWORD>(png.size())));
  BitmapPtr bitmap = AdoptBitmap(FreeImage_LoadFromMemory(FIF_PNG, stream.get(), 0));
  // cairo writes a wholly opaque canvas without its alpha channel; FreeImage_Composite needs it.
  if (bitmap && FreeImage_GetBPP(bitmap.get()) == 24) bitmap = AdoptBitmap(FreeImage_ConvertTo32Bits(bitmap.get()));
  return bitmap;
}

// The frame made the long way: a full-size overlay drawn from the corners of each side,
// faded, passed through PNG and composited by FreeImage over the photo.
BitmapPtr FramedTheLongWay(FIBITMAP* photo, int w, int h, int l, int r, int t, int b, int opacity) {
  CanvasPtr drawing = CreateCanvas(w, h);
  DrawingPtr cr = StartDrawing(drawing.get());
  uint32_t colours[] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF00FFFF};  // top red, right green, ...
  struct {
    int x, y, width, height;
  } corners[] = {{0, 0, l, t}, {w - r, 0, r, t}, {w - r, h - b, r, b}, {0, h - b, l, b}};
  std::string sides[] = {
      PathThrough({{0, 0}, {w, 0}, {w - r, t}, {l, t}}), PathThrough({{w, 0}, {w, h}, {w - r, h - b}, {w - r, t}}),
      PathThrough({{w, h}, {0, h}, {l, h - b}, {w - r, h - b}}), PathThrough({{0, h}, {0, 0}, {l, t}, {l, h - b}})};
  for (int i = 0; i < 4; ++i) {
    SetFillColor(cr.get(), colours[i]);
    FillRectangle(cr.get(), corners[i].x, corners[i].y, corners[i].width, corners[i].height);
  }
  for (int i = 0; i < 4; ++i) {
    SetFillColor(cr.get(), colours[i]);
    EXPECT_TRUE(FillPathText(cr.get(), sides[i]));
  }
  CanvasPtr faded = CreateCanvas(w, h);
  DrawCanvas(faded.get(), drawing.get(), opacity);
  BitmapPtr overlay = PngOf(faded.get());
  return AdoptBitmap(FreeImage_Composite(overlay.get(), FALSE, nullptr, photo));
}

}  // namespace

TEST_F(FramesTest, TopOnlyGivesABlackBandAcrossTheFullWidth) {
  SetWidths(0, 0, 20, 0);
  BitmapPtr image = Framed(100, 60);
  ExpectSamples(image.get(), {{0, 0, kBlack},
                              {99, 0, kBlack},
                              {50, 19, kBlack},
                              {0, 19, kBlack},
                              {99, 19, kBlack},
                              {0, 20, kGrey},
                              {99, 20, kGrey},
                              {50, 59, kGrey},
                              {0, 59, kGrey}});
}

TEST_F(FramesTest, FourSidesInFourColoursSplitEachCornerAlongItsDiagonal) {
  SetWidths(20, 20, 20, 20);
  SetColours("ff0000", "00ff00", "0000ff", "ffff00");
  BitmapPtr image = Framed(120, 100);
  ExpectSamples(image.get(), {
                                 {60, 10, kRed},
                                 {110, 50, kGreen},
                                 {60, 90, kBlue},
                                 {10, 50, kYellow},
                                 {60, 50, kGrey},
                                 {20, 20, kGrey},
                                 {99, 79, kGrey},
                                 {15, 4, kRed},
                                 {4, 15, kYellow},  // top-left corner
                                 {104, 4, kRed},
                                 {115, 15, kGreen},  // top-right
                                 {115, 84, kGreen},
                                 {104, 95, kBlue},  // bottom-right
                                 {4, 84, kYellow},
                                 {15, 95, kBlue},  // bottom-left
                             });
}

TEST_F(FramesTest, UnequalWidthsSplitTheTopRightBlockBetweenTopAndRight) {
  SetWidths(10, 30, 10, 10);
  SetColours("ff0000", "00ff00", "0000ff", "ffff00");
  BitmapPtr image = Framed(100, 60);
  // The block is x 70..99, y 0..9; its diagonal runs from (70, 10) to (100, 0).
  ExpectSamples(image.get(), {{71, 1, kRed},
                              {75, 2, kRed},
                              {85, 1, kRed},
                              {97, 8, kGreen},
                              {99, 5, kGreen},
                              {80, 9, kGreen},
                              {69, 5, kRed},
                              {85, 30, kGreen},
                              {69, 30, kGrey}});
}

TEST_F(FramesTest, HalfOpacityBlendsSideColourAndPhotoEvenly) {
  SetWidths(0, 0, 10, 0);
  SetColours("ff0000", "000000", "000000", "000000");
  settings.frSolidOpacity = 128;
  BitmapPtr image = Framed(30, 30);
  // side × a + photo × (1 − a) with a = 128/255; one level of rounding allowed.
  double a = 128.0 / 255;
  Rgb8 expected{static_cast<int>(255 * a + 100 * (1 - a)), static_cast<int>(100 * (1 - a)),
                static_cast<int>(100 * (1 - a))};
  EXPECT_TRUE(Near(PixelAt(image.get(), 15, 5), expected, 1))
      << ToString(PixelAt(image.get(), 15, 5)) << " vs " << ToString(expected);
  ExpectSamples(image.get(), {{15, 15, kGrey}});
}

TEST_F(FramesTest, OnlySixCharacterColourTextsAreRead) {
  SetWidths(0, 0, 10, 0);
  for (auto [text, colour] : {std::pair{"#FF0000", kBlack}, {"ff0000", kRed}, {"FF00", kBlack}, {"", kBlack}}) {
    settings.frSolidTopColor = text;
    BitmapPtr image = Framed(20, 20);
    ExpectSamples(image.get(), {{10, 5, colour}});
  }
}

TEST_F(FramesTest, EveryFrameKindGivesTwentyFourBitsAndKeepsTheSize) {
  struct Case {
    int doFrame, opacity, bpp;
    unsigned resultBpp;
    Rgb8 band;
  };
  // Kind 2 is not drawn but still converted; opacity 0 draws nothing visible.
  for (Case c : {Case{1, 255, 8, 24, kBlack},
                 {1, 255, 24, 24, kBlack},
                 {1, 255, 32, 24, kBlack},
                 {1, 0, 8, 24, kGrey},
                 {2, 255, 32, 24, kGrey},
                 {0, 255, 8, 8, kGrey}}) {
    SetWidths(3, 3, 3, 3);
    settings.doFrame = static_cast<bool8>(c.doFrame);
    settings.frSolidOpacity = c.opacity;
    BitmapPtr image = Framed(41, 23, c.bpp);
    ASSERT_TRUE(image) << c.doFrame << " " << c.bpp;
    EXPECT_EQ(FreeImage_GetBPP(image.get()), c.resultBpp) << c.doFrame << " " << c.bpp;
    EXPECT_EQ(FreeImage_GetWidth(image.get()), 41u);
    EXPECT_EQ(FreeImage_GetHeight(image.get()), 23u);
    ExpectSamples(image.get(), {{20, 1, c.band}, {20, 11, kGrey}});
  }
}

TEST_F(FramesTest, NoFrameHandsTheSameBitmapOnAndNullPassesThrough) {
  BitmapPtr photo = MakeSolidBitmap(10, 10, 8, kGrey);
  FIBITMAP* same = photo.get();
  BitmapPtr image = ApplySolidFrame(std::move(photo), 10, 10, settings);
  EXPECT_EQ(image.get(), same);
  EXPECT_EQ(FreeImage_GetBPP(image.get()), 8u);
  SetWidths(5, 5, 5, 5);
  EXPECT_FALSE(ApplySolidFrame(nullptr, 10, 10, settings));
}

TEST_F(FramesTest, HostileWidthsNeverCrashAndNegativeWidthsCountAsZero) {
  struct Case {
    int left, right, top, bottom;
    Rgb8 corner, centre;
  };
  for (Case c : {Case{-5, -5, -5, -5, kGrey, kGrey},
                 {INT_MIN, INT_MIN, INT_MIN, INT_MIN, kGrey, kGrey},
                 {0, 0, INT_MAX, 0, kBlack, kBlack},
                 {0, 0, 1000000, 0, kBlack, kBlack},
                 {INT_MAX, INT_MAX, INT_MAX, INT_MAX, kBlack, kBlack},
                 {40, 40, 0, 0, kBlack, kBlack},
                 {-30, 10, 0, 0, kGrey, kGrey}}) {
    SetWidths(c.left, c.right, c.top, c.bottom);
    BitmapPtr image = Framed(60, 40);
    ASSERT_TRUE(image) << c.left << " " << c.top;
    ExpectSamples(image.get(), {{0, 39, c.corner}, {30, 20, c.centre}});
  }
}

TEST_F(FramesTest, WidthsDifferentFromTheBitmapFailTheStage) {
  SetWidths(5, 5, 5, 5);
  EXPECT_FALSE(ApplySolidFrame(MakeSolidBitmap(30, 30, 24, kGrey), 31, 30, settings));
}

TEST_F(FramesTest, AnImageWiderThanACanvasStillGetsItsWholeFrame) {
  SetWidths(0, 4, 5, 0);
  SetColours("ff0000", "00ff00", "000000", "000000");
  constexpr int kWide = kMaxCanvasSide + 300;
  BitmapPtr image = Framed(kWide, 20);
  ExpectSamples(image.get(), {{0, 2, kRed},
                              {kMaxCanvasSide - 1, 2, kRed},
                              {kMaxCanvasSide + 1, 2, kRed},
                              {kWide - 10, 2, kRed},
                              {kWide - 2, 15, kGreen},
                              {kWide - 10, 15, kGrey}});
}

TEST_F(FramesTest, KeepsTheMetadataOfTheImage) {
  SetWidths(5, 5, 5, 5);
  BitmapPtr photo = MakeSolidBitmap(30, 30, 24, kGrey);
  AddCommentTag(photo.get(), "camera");
  BitmapPtr image = ApplySolidFrame(std::move(photo), 30, 30, settings);
  EXPECT_TRUE(HasCommentTag(image.get()));
}

TEST_F(FramesTest, SameColoursAsAFullSizeOverlayCompositedByFreeImage) {
  struct Case {
    int width, height, left, right, top, bottom, opacity;
  };
  // The last case is wide enough for its bands to be drawn in several tiles, with the
  // corner diagonals crossing from one tile into the next.
  for (Case c : {Case{83, 67, 20, 20, 20, 20, 255},
                 {83, 67, 10, 30, 10, 10, 128},
                 {83, 67, 7, 0, 13, 29, 37},
                 {83, 67, 0, 0, 20, 0, 200},
                 {83, 67, 45, 40, 35, 30, 255},
                 {2500, 900, 700, 650, 800, 60, 150}}) {
    SetWidths(c.left, c.right, c.top, c.bottom);
    SetColours("ff0000", "00ff00", "0000ff", "ffff00");
    settings.frSolidOpacity = c.opacity;
    BitmapPtr photo = MakeTestBitmap(c.width, c.height, 24, TestPattern::kGradient);
    BitmapPtr expected = FramedTheLongWay(photo.get(), c.width, c.height, c.left, c.right, c.top, c.bottom, c.opacity);
    ASSERT_TRUE(expected) << c.left << " " << c.right << " " << c.top << " " << c.bottom;
    BitmapPtr image = ApplySolidFrame(std::move(photo), c.width, c.height, settings);
    EXPECT_EQ(CountDifferentPixels(image.get(), expected.get()), 0)
        << c.left << " " << c.right << " " << c.top << " " << c.bottom << " at " << c.opacity;
  }
}
