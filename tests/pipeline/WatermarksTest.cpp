#include "pipeline/Watermarks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>

#include "platform/Fonts.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/SolidBitmaps.h"
#include "support/TestFiles.h"

namespace {

const Rgb8 kGrey{100, 100, 100};
constexpr int kWidth = 300, kHeight = 200;

// The rectangle of pixels that differ from the untouched photo; empty when none does.
struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < 0; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Box ChangedBox(FIBITMAP* image, Rgb8 photo) {
  Box box;
  for (int y = 0; y < static_cast<int>(FreeImage_GetHeight(image)); ++y)
    for (int x = 0; x < static_cast<int>(FreeImage_GetWidth(image)); ++x) {
      if (Near(PixelAt(image, x, y), photo, 0)) continue;
      box.left = std::min(box.left, x), box.right = std::max(box.right, x);
      box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
    }
  return box;
}

int CountPixels(FIBITMAP* image, Box box, const std::function<bool(Rgb8)>& test) {
  int count = 0;
  for (int y = box.top; y <= box.bottom; ++y)
    for (int x = box.left; x <= box.right; ++x) count += test(PixelAt(image, x, y));
  return count;
}

class WatermarksTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  void TearDown() override { ReleaseWatermarkFont(); }

  // A text watermark on an opaque red box, so that the box shows where it lies.
  void UseTextOnRedBox(const std::string& text) {
    ConversionSettingsRecord& s = settings;
    s.doWatermark = kWatermarkText;
    s.wmText = text;
    s.wmBackColor = "ff0000";
    s.wmBackOpacity = 255;
    ASSERT_TRUE(CreateWatermarkFont(settings));
  }
  // A picture watermark of `width` × `height`, written as `name` into the test's folder.
  void UsePicture(FIBITMAP* picture, const std::string& name, FREE_IMAGE_FORMAT format, int flags = 0) {
    std::string path = folder_ / name;
    ASSERT_TRUE(FreeImage_Save(format, picture, path.c_str(), flags));
    settings.doWatermark = kWatermarkImage;
    settings.wmImage = path;
  }
  void UseRedPicture(int width, int height) {
    UsePicture(MakeSolidBitmap(width, height, 24, {255, 0, 0}).get(), "red.png", FIF_PNG);
  }
  BitmapPtr Stamped(int bpp = 24) {
    return ApplyWatermark(MakeSolidBitmap(kWidth, kHeight, bpp, kGrey), kWidth, kHeight, settings.wmText, settings);
  }
  TextMetrics Measured(const std::string& text, TextMode mode = TextMode::kRaster) {
    FontRecord font;
    FontRequest request;
    request.family = settings.wmFont;
    request.pointSize = settings.wmFontSize;
    EXPECT_TRUE(CreateFont(request, font));
    CanvasPtr canvas = CreateCanvas(10, 10);
    DrawingPtr drawing = StartDrawing(canvas.get());
    SelectFont(drawing.get(), font, mode);
    return MeasureText(drawing.get(), font, text);
  }

  TempFolder folder_;
};

}  // namespace

TEST_F(WatermarksTest, DefaultPlacementPutsTheBoxCornerTenPixelsFromTheImageCorner) {
  UseTextOnRedBox("Quillmark");
  BitmapPtr image = Stamped();
  Box box = ChangedBox(image.get(), kGrey);
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(box.right, kWidth - 1 - 10);
  EXPECT_EQ(box.bottom, kHeight - 1 - 10);
  EXPECT_EQ(box.width(), std::lround(Measured("Quillmark").width));
  EXPECT_EQ(box.height(), Measured("Quillmark").height);
}

TEST_F(WatermarksTest, FrameBoundaryMeasuresFromInsideTheFrame) {
  UseRedPicture(30, 20);
  ConversionSettingsRecord& s = settings;
  s.wmImagePosition = kTopLeft;
  s.wmImageBoundary = kBoundaryFrame;
  s.frSolidLeft = s.frSolidRight = s.frSolidTop = s.frSolidBottom = 20;
  struct Case {
    int doFrame, left, top;
  };
  for (Case c : {Case{1, 30, 30}, {0, 10, 10}}) {
    s.doFrame = static_cast<bool8>(c.doFrame);
    Box box = ChangedBox(Stamped().get(), kGrey);
    EXPECT_EQ(box.left, c.left) << "frame " << c.doFrame;
    EXPECT_EQ(box.top, c.top) << "frame " << c.doFrame;
    EXPECT_EQ(box.width(), 30);
    EXPECT_EQ(box.height(), 20);
  }
}

TEST_F(WatermarksTest, EveryAnchorPlacesWithTruncatingDivision) {
  settings.doWatermark = kWatermarkImage;
  settings.wmImageXOffset = 4;
  settings.wmImageYOffset = 6;
  struct Case {
    int code;
    int64_t x, y;
  };
  // Reference 101 × 51, overlay 20 × 10.
  for (Case c : {Case{0, 4, 6},
                 {1, 40, 6},
                 {2, 77, 6},
                 {3, 4, 20},
                 {4, 40, 20},
                 {5, 77, 20},
                 {6, 4, 35},
                 {7, 40, 35},
                 {8, 77, 35},
                 {9, 0, 0},
                 {-1, 0, 0}}) {
    settings.wmImagePosition = static_cast<int8_t>(c.code);
    WatermarkPosition p = PlaceWatermark(101, 51, 20, 10, settings);
    EXPECT_EQ(p.x, c.x) << c.code;
    EXPECT_EQ(p.y, c.y) << c.code;
  }
  settings.wmImagePosition = kMiddleCenter;
  EXPECT_EQ(PlaceWatermark(10, 10, 15, 13, settings).x, -2) << "(10 - 15) / 2 truncates toward zero";
  EXPECT_EQ(PlaceWatermark(10, 10, 15, 13, settings).y, -1);
}

TEST_F(WatermarksTest, LineXFollowsTheAlignment) {
  settings.wmTextPadding = 5;
  struct Case {
    int alignment, lineWidth, boxWidth, x;
  };
  for (Case c : {Case{0, 100, 300, 5},
                 {2, 100, 300, 195},
                 {1, 100, 300, 100},
                 {1, 60, 300, 120},
                 {1, 1, 10, 5},
                 {1, 10, 1, -5},
                 {7, 100, 300, 0}}) {
    settings.wmTextAlignment = static_cast<int8_t>(c.alignment);
    EXPECT_EQ(LineX(c.lineWidth, c.boxWidth, settings), c.x) << c.alignment << " " << c.lineWidth << " " << c.boxWidth;
  }
}

TEST_F(WatermarksTest, TwoLinesMakeATallerBoxWithTheSecondLineOneStepLower) {
  UseTextOnRedBox("Line one%EOL%line two");
  settings.wmTextPadding = 5;
  settings.wmFontLeading = 7;
  settings.wmTextPosition = kTopLeft;
  BitmapPtr image = Stamped();
  Box box = ChangedBox(image.get(), kGrey);
  TextMetrics one = Measured("Line one"), two = Measured("line two");
  EXPECT_EQ(box.width(), std::max<long>(10, std::lround(std::max(one.width, two.width))) + 10);
  EXPECT_EQ(box.height(), 2 * one.height + 7 + 10);
  // The text rows: white pixels inside the box, first and last.
  int firstText = -1, lastText = -1;
  for (int y = box.top; y <= box.bottom; ++y)
    if (CountPixels(image.get(), {box.left, y, box.right, y}, [](Rgb8 p) { return p.green > 200; })) {
      if (firstText < 0) firstText = y;
      lastText = y;
    }
  EXPECT_GE(firstText, box.top + 5);
  EXPECT_GT(lastText, box.top + 5 + one.height + 7) << "second line one line step lower";
}

TEST_F(WatermarksTest, CentredLinesDifferingBy40PixelsStart20PixelsApart) {
  settings.wmTextAlignment = kAlignCenter;
  EXPECT_EQ(LineX(60, 200, settings) - LineX(100, 200, settings), 20);

  // Drawn: two lines of "M", the second narrower; the first glyph column of each line.
  UseTextOnRedBox("MMMMMMMM%eol%MMMM");
  settings.wmTextAlignment = kAlignCenter;
  settings.wmTextPosition = kTopLeft;
  BitmapPtr image = Stamped();
  Box box = ChangedBox(image.get(), kGrey);
  int lineHeight = Measured("M").height;
  auto firstTextColumn = [&](int top) {
    for (int x = box.left; x <= box.right; ++x)
      if (CountPixels(image.get(), {x, top, x, top + lineHeight - 1}, [](Rgb8 p) { return p.green > 200; })) return x;
    return -1;
  };
  int wide = firstTextColumn(box.top), narrow = firstTextColumn(box.top + lineHeight);
  ASSERT_GE(wide, 0);
  double shift = (Measured("MMMMMMMM").width - Measured("MMMM").width) / 2;
  EXPECT_NEAR(narrow - wide, shift, 1.0);
}

TEST_F(WatermarksTest, SingleLineStartsAtThePaddingWhateverTheAlignment) {
  UseTextOnRedBox("Quill");
  settings.wmTextPadding = 6;
  BitmapPtr left = Stamped();
  for (int alignment : {1, 2}) {
    settings.wmTextAlignment = static_cast<int8_t>(alignment);
    EXPECT_EQ(CountDifferentPixels(Stamped().get(), left.get()), 0) << alignment;
  }
}

TEST_F(WatermarksTest, RotationTurnsOnlyBetweenOneAnd359Degrees) {
  settings.doWatermark = kWatermarkText;
  struct Case {
    int angle;
    unsigned width, height;
  };
  for (Case c : {Case{90, 50, 200},
                 {270, 50, 200},
                 {180, 200, 50},
                 {0, 200, 50},
                 {360, 200, 50},
                 {-30, 200, 50},
                 {400, 200, 50}}) {
    settings.wmTextRotation = c.angle;
    BitmapPtr turned = RotateWatermark(MakeSolidBitmap(200, 50, 32, {1, 2, 3, 255}), settings);
    ASSERT_TRUE(turned) << c.angle;
    EXPECT_EQ(FreeImage_GetWidth(turned.get()), c.width) << c.angle;
    EXPECT_EQ(FreeImage_GetHeight(turned.get()), c.height) << c.angle;
  }
  settings.wmTextRotation = 45;
  BitmapPtr turned = RotateWatermark(MakeSolidBitmap(200, 50, 32, {1, 2, 3, 255}), settings);
  EXPECT_GT(FreeImage_GetHeight(turned.get()), 150u);
  EXPECT_EQ(PixelAt(turned.get(), 0, 0).alpha, 0) << "uncovered corners are transparent";
}

TEST_F(WatermarksTest, AWatermarkWiderThanTheImageIsCutOnItsRight) {
  UseRedPicture(400, 20);
  settings.wmImagePosition = kTopLeft;
  Box box = ChangedBox(Stamped().get(), kGrey);
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.right, kWidth - 1);
  EXPECT_EQ(box.height(), 20);
}

TEST_F(WatermarksTest, OffsetsThatLeaveNothingFailAndOffsetsOutsidePlaceNothing) {
  UseRedPicture(30, 20);
  settings.wmImagePosition = kTopLeft;
  struct Case {
    int x, y;
    bool image;
  };
  // A negative offset keeps the overlay but puts it partly outside: it is not pasted. An
  // offset beyond the image crops it to nothing: the stage fails.
  for (Case c : {Case{-5, 10, true},
                 {10, -1, true},
                 {kWidth + 5, 10, false},
                 {10, kHeight, false},
                 {INT_MAX, 10, false},
                 {INT_MIN, INT_MIN, true}}) {
    settings.wmImageXOffset = c.x;
    settings.wmImageYOffset = c.y;
    BitmapPtr image = Stamped();
    ASSERT_EQ(image != nullptr, c.image) << c.x << "," << c.y;
    if (image) {
      EXPECT_TRUE(ChangedBox(image.get(), kGrey).empty()) << c.x << "," << c.y;
    }
  }
}

TEST_F(WatermarksTest, RasterLettersAreWrittenSoTransparentTextShowsThroughTheBox) {
  UseTextOnRedBox("WWWW");
  settings.wmTextOpacity = 0;
  auto isPhoto = [](Rgb8 p) { return Near(p, kGrey, 0); };
  auto isBox = [](Rgb8 p) { return p.red > 240 && p.green < 5; };
  // The box is found from the antialiased run, where nothing shows through.
  settings.wmTextAntialiasing = 1;
  BitmapPtr plain = Stamped();
  Box box = ChangedBox(plain.get(), kGrey);
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(CountPixels(plain.get(), box, isPhoto), 0);
  EXPECT_EQ(CountPixels(plain.get(), box, isBox), box.width() * box.height());

  settings.wmTextAntialiasing = 0;
  BitmapPtr raster = Stamped();
  EXPECT_GT(CountPixels(raster.get(), box, isPhoto), 20) << "letters show the photo";
  EXPECT_GT(CountPixels(raster.get(), box, isBox), box.width() * box.height() / 2);
}

TEST_F(WatermarksTest, OpaquePictureAtHalfOpacityDarkensAndStillCovers) {
  UsePicture(MakeSolidBitmap(40, 30, 24, {255, 255, 255}).get(), "white.jpg", FIF_JPEG, 100);
  settings.wmImageOpacity = 128;
  BitmapPtr image = ApplyWatermark(MakeTestBitmap(kWidth, kHeight, 24, TestPattern::kGradient), kWidth, kHeight,
                                   settings.wmText, settings);
  Box rect{kWidth - 50, kHeight - 40, kWidth - 11, kHeight - 11};
  // White at 128 over black, then pasted (×255/256) and composited at alpha 254: about 126
  // whatever the photo beneath; two levels for the JPEG.
  EXPECT_EQ(CountPixels(image.get(), rect, [](Rgb8 p) { return Near(p, {126, 126, 126}, 2); }), 40 * 30);
}

TEST_F(WatermarksTest, PictureWithAlphaAtHalfOpacityIsHalfTransparent) {
  // Transparent, with an opaque white block at x 10..29, y 10..19.
  BitmapPtr picture = MakeSolidBitmap(40, 30, 32, {255, 255, 255, 0});
  RGBQUAD opaqueWhite{255, 255, 255, 255};
  for (unsigned y = 10; y < 20; ++y)
    for (unsigned x = 10; x < 30; ++x) FreeImage_SetPixelColor(picture.get(), x, y, &opaqueWhite);
  UsePicture(picture.get(), "logo.png", FIF_PNG);
  settings.wmImageOpacity = 128;
  settings.wmImagePosition = kTopLeft;
  BitmapPtr image = Stamped();
  Box changed = ChangedBox(image.get(), kGrey);
  EXPECT_EQ(changed.left, 20);
  EXPECT_EQ(changed.top, 20);
  EXPECT_EQ(changed.width(), 20);
  EXPECT_EQ(changed.height(), 10);
  EXPECT_TRUE(Near(PixelAt(image.get(), 25, 25), {177, 177, 177}, 2)) << ToString(PixelAt(image.get(), 25, 25));
}

TEST_F(WatermarksTest, GreyFilterWeighsTheChannels) {
  struct Case {
    uint32_t in, out;
  };
  for (Case c : {Case{0xFF0000FF, 0xFF4C4C4C},
                 {0x8000FF00, 0x80959595},
                 {0x00FF0000, 0x001C1C1C},
                 {0xFFFFFFFF, 0xFFFFFFFF},
                 {0x7F000000, 0x7F000000}}) {
    EXPECT_EQ(GreyFilter(c.in), c.out) << std::hex << c.in;
  }
  UseRedPicture(20, 20);
  settings.wmImageGreyscale = 1;
  Rgb8 stamped = PixelAt(Stamped().get(), kWidth - 20, kHeight - 20);
  EXPECT_TRUE(Near(stamped, {75, 75, 75}, 1)) << ToString(stamped);
}

TEST_F(WatermarksTest, TextWithOnePercentSignIsUsedAsTyped) {
  UseTextOnRedBox("100%");
  settings.wmTextPadding = 3;
  Box box = ChangedBox(Stamped().get(), kGrey);
  EXPECT_EQ(box.width(), std::lround(Measured("100%").width) + 6);
}

TEST_F(WatermarksTest, FontIsAvailableByNameOrMetricSubstituteOnly) {
  for (auto [family, available] : {std::pair{"Arial", true}, {"Liberation Sans", true}, {"NoSuchFont", false}}) {
    settings.wmFont = family;
    EXPECT_EQ(CreateWatermarkFont(settings), available) << family;
  }
  // Without a font the text watermark draws nothing, and the image is still made 24-bit.
  settings.doWatermark = kWatermarkText;
  BitmapPtr image = Stamped(8);
  ASSERT_TRUE(image);
  EXPECT_EQ(FreeImage_GetBPP(image.get()), 24u);
  EXPECT_TRUE(ChangedBox(image.get(), kGrey).empty());
}

TEST_F(WatermarksTest, NothingToDoHandsTheSameBitmapOnAndNullPassesThrough) {
  BitmapPtr photo = MakeSolidBitmap(10, 10, 8, kGrey);
  FIBITMAP* same = photo.get();
  EXPECT_EQ(ApplyWatermark(std::move(photo), 10, 10, settings.wmText, settings).get(), same);
  UseRedPicture(5, 5);
  EXPECT_FALSE(ApplyWatermark(nullptr, 10, 10, settings.wmText, settings));
}

TEST_F(WatermarksTest, AnyDepthComesOutTwentyFourBitWithItsMetadata) {
  UseRedPicture(10, 10);
  for (int bpp : {8, 24, 32}) {
    BitmapPtr photo = MakeSolidBitmap(kWidth, kHeight, bpp, kGrey);
    AddCommentTag(photo.get(), "camera");
    BitmapPtr image = ApplyWatermark(std::move(photo), kWidth, kHeight, settings.wmText, settings);
    ASSERT_TRUE(image) << bpp;
    EXPECT_EQ(FreeImage_GetBPP(image.get()), 24u) << bpp;
    EXPECT_TRUE(HasCommentTag(image.get())) << bpp;
    EXPECT_EQ(ChangedBox(image.get(), kGrey).width(), 10) << bpp;
  }
}

TEST_F(WatermarksTest, MissingOrUnreadablePictureLeavesTheImageAlone) {
  settings.doWatermark = kWatermarkImage;
  WriteText(folder_ / "fake.png", "not a picture");
  BitmapPtr gif = MakeSolidBitmap(10, 10, 8, kGrey);
  ASSERT_TRUE(FreeImage_Save(FIF_GIF, gif.get(), (folder_ / "a.gif").c_str()));
  for (std::string path : {folder_ / "missing.png", folder_ / "fake.png", folder_ / "a.gif", std::string()}) {
    settings.wmImage = path;
    BitmapPtr image = Stamped();
    ASSERT_TRUE(image) << path;
    EXPECT_TRUE(ChangedBox(image.get(), kGrey).empty()) << path;
  }
}

// FreeImage reads a 16-bit grey PNG as FIT_UINT16, which its 32-bit conversion refuses: the
// watermark was silently left out. It draws as the 8-bit picture of its high bytes.
TEST_F(WatermarksTest, SixteenBitGreyPictureDrawsAsItsHighBytes) {
  settings.wmImagePosition = kTopLeft;
  UsePicture(MakeSolidBitmap(8, 6, 24, {156, 156, 156}).get(), "eight.png", FIF_PNG);
  BitmapPtr expected = Stamped();
  BitmapPtr picture = AdoptBitmap(FreeImage_AllocateT(FIT_UINT16, 8, 6));
  for (int y = 0; y < 6; ++y) std::fill_n(reinterpret_cast<WORD*>(FreeImage_GetScanLine(picture.get(), y)), 8, 40000);
  UsePicture(picture.get(), "sixteen.png", FIF_PNG);
  BitmapPtr image = Stamped();
  ASSERT_TRUE(image);
  EXPECT_EQ(ChangedBox(image.get(), kGrey).width(), 8);
  EXPECT_EQ(ComparePixels(image.get(), expected.get(), 0), "");
}

// A picture that is read but cannot be drawn (here wider than any canvas) fails the stage;
// saving the photo without the watermark it was asked to carry would report a success.
TEST_F(WatermarksTest, APictureThatCannotBeDrawnFailsTheStage) {
  UsePicture(MakeSolidBitmap(kMaxCanvasSide + 1, 1, 24, {255, 0, 0}).get(), "wide.png", FIF_PNG);
  EXPECT_FALSE(Stamped());
}

TEST_F(WatermarksTest, HostileNumbersEndQuicklyWithoutACrash) {
  using Change = std::function<void(ConversionSettingsRecord&)>;
  std::vector<std::pair<const char*, Change>> cases = {
      {"font size max", [](auto& s) { s.wmFontSize = INT_MAX; }},
      {"font size min", [](auto& s) { s.wmFontSize = INT_MIN; }},
      {"font size 20000", [](auto& s) { s.wmFontSize = 20000; }},
      {"font size 0", [](auto& s) { s.wmFontSize = 0; }},
      {"padding max", [](auto& s) { s.wmTextPadding = INT_MAX; }},
      {"padding min", [](auto& s) { s.wmTextPadding = INT_MIN; }},
      {"padding -3", [](auto& s) { s.wmTextPadding = -3; }},
      {"leading max", [](auto& s) { s.wmText = "a%eol%b%eol%c", s.wmFontLeading = INT_MAX; }},
      {"leading min", [](auto& s) { s.wmText = "a%eol%b%eol%c", s.wmFontLeading = INT_MIN; }},
      {"many lines",
       [](auto& s) {
         for (int i = 0; i < 20000; ++i) s.wmText += "%EOL%";
       }},
      {"offsets min", [](auto& s) { s.wmTextXOffset = s.wmTextYOffset = INT_MIN; }},
      {"offsets max", [](auto& s) { s.wmTextXOffset = s.wmTextYOffset = INT_MAX; }},
      {"big box turned", [](auto& s) { s.wmTextPadding = 6000, s.wmTextRotation = 45; }},
      {"opacity out of range", [](auto& s) { s.wmTextOpacity = 1000, s.wmBackOpacity = -1000; }},
      {"frame boundary beyond image",
       [](auto& s) { s.wmTextBoundary = kBoundaryFrame, s.doFrame = kFrameSolid, s.frSolidLeft = INT_MAX; }},
  };
  for (auto& [name, change] : cases) {
    ResetConversionSettings(true);
    settings.doWatermark = kWatermarkText;
    change(ConversionSettings);
    ASSERT_TRUE(CreateWatermarkFont(settings)) << name;
    auto start = std::chrono::steady_clock::now();
    BitmapPtr image = Stamped();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0) << name;
    if (image) {
      EXPECT_EQ(FreeImage_GetWidth(image.get()), static_cast<unsigned>(kWidth)) << name;
    }
  }
}
