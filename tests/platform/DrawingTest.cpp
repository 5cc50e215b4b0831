#include "platform/Drawing.h"

#include <gtest/gtest.h>

#include <set>

#include "support/SolidBitmaps.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kOpaqueRed = 0xFF0000FF;
constexpr uint32_t kOpaqueBlue = 0xFFFF0000;

// The canvas pixel at (x, y) as straight channels.
StraightPixel CanvasPixel(cairo_surface_t* canvas, int x, int y) {
  cairo_surface_flush(canvas);
  return Unpremultiply(CanvasRow(canvas, y)[x]);
}

std::set<int> AlphaLevels(cairo_surface_t* canvas) {
  std::set<int> levels;
  cairo_surface_flush(canvas);
  for (int y = 0; y < CanvasHeight(canvas); ++y)
    for (int x = 0; x < CanvasWidth(canvas); ++x) levels.insert(static_cast<int>(CanvasRow(canvas, y)[x] >> 24));
  return levels;
}

void SaveBitmap(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, const std::string& path, int flags = 0) {
  ASSERT_TRUE(FreeImage_Save(format, bitmap, path.c_str(), flags)) << path;
}

}  // namespace

TEST(DrawingTest, CanvasSizesOutsideTheLimitsAreRefused) {
  struct Case {
    int width, height;
    bool made;
  };
  for (Case c : {Case{1, 1, true},
                 {kMaxCanvasSide, 1, true},
                 {1, kMaxCanvasSide, true},
                 {0, 5, false},
                 {5, 0, false},
                 {-3, 5, false},
                 {kMaxCanvasSide + 1, 1, false},
                 {1, kMaxCanvasSide + 1, false},
                 {INT32_MAX, INT32_MAX, false}}) {
    CanvasPtr canvas = CreateCanvas(c.width, c.height);
    EXPECT_EQ(canvas != nullptr, c.made) << c.width << " x " << c.height;
  }
}

TEST(DrawingTest, PathTextFillsTheFigureItDescribes) {
  CanvasPtr canvas = CreateCanvas(40, 40);
  DrawingPtr drawing = StartDrawing(canvas.get());
  SetFillColor(drawing.get(), kOpaqueRed);
  // The triangle (0,0), (40,0), (0,40): everything above the anti-diagonal.
  ASSERT_TRUE(FillPathText(drawing.get(), "M 0 0 l 40 0 l -40 40 Z"));
  EXPECT_EQ(CanvasPixel(canvas.get(), 5, 5).alpha, 255);
  EXPECT_EQ(CanvasPixel(canvas.get(), 5, 5).red, 255);
  EXPECT_EQ(CanvasPixel(canvas.get(), 35, 35).alpha, 0);
  EXPECT_EQ(CanvasPixel(canvas.get(), 30, 5).alpha, 255);
  EXPECT_EQ(CanvasPixel(canvas.get(), 5, 30).alpha, 255);
  // Fills are antialiased: the diagonal has partly covered pixels, unless switched off.
  EXPECT_GT(AlphaLevels(canvas.get()).size(), 2u);
  CanvasPtr hard = CreateCanvas(40, 40);
  DrawingPtr hardDrawing = StartDrawing(hard.get());
  SetAntialias(hardDrawing.get(), false);
  ASSERT_TRUE(FillPathText(hardDrawing.get(), "M 0 0 l 40 0 l -40 40 Z"));
  EXPECT_EQ(AlphaLevels(hard.get()), (std::set<int>{0, 255}));
}

TEST(DrawingTest, MalformedPathTextFillsNothing) {
  for (const char* text :
       {"", "Z", "l 5 5 Z", "M 1", "M 1 x l 2 2 Z", "M 0 0 L 5 5 Z", "M 0 0 l 5 -- Z", "M 0 0 l 10 0 l 0 10 Q",
        "M 99999999 0 l 1 1 Z", "M 0 0 l 3999999 0 l 3999999 0 Z", "M 1.5 0 l 1 1 Z"}) {
    CanvasPtr canvas = CreateCanvas(20, 20);
    DrawingPtr drawing = StartDrawing(canvas.get());
    SetFillColor(drawing.get(), kOpaqueRed);
    EXPECT_FALSE(FillPathText(drawing.get(), text)) << text;
    EXPECT_EQ(AlphaLevels(canvas.get()), std::set<int>{0}) << text;
  }
}

TEST(DrawingTest, ReplaceWritesAllChannelsWhileBlendMixes) {
  for (WriteMode mode : {WriteMode::kBlend, WriteMode::kReplace}) {
    CanvasPtr canvas = CreateFilledCanvas(4, 4, kOpaqueBlue);
    DrawingPtr drawing = StartDrawing(canvas.get());
    SetWriteMode(drawing.get(), mode);
    SetFillColor(drawing.get(), 0x400000FF);  // red at alpha 64
    FillRectangle(drawing.get(), 0, 0, 2, 4);
    StraightPixel covered = CanvasPixel(canvas.get(), 0, 0), untouched = CanvasPixel(canvas.get(), 3, 0);
    EXPECT_EQ(untouched.blue, 255);
    EXPECT_EQ(untouched.alpha, 255);
    if (mode == WriteMode::kReplace) {
      EXPECT_EQ(covered.alpha, 64);
      EXPECT_NEAR(covered.red, 255, 2);
      EXPECT_EQ(covered.blue, 0);
    } else {
      EXPECT_EQ(covered.alpha, 255);
      EXPECT_NEAR(covered.red, 64, 1);
      EXPECT_NEAR(covered.blue, 191, 1);
    }
  }
}

TEST(DrawingTest, DrawCanvasMultipliesAlphaByOpacity) {
  struct Case {
    int opacity;
    int alpha;
  };
  for (Case c : {Case{255, 255}, {128, 128}, {0, 0}, {300, 255}, {-4, 0}}) {
    CanvasPtr source = CreateFilledCanvas(3, 3, kOpaqueRed);
    CanvasPtr target = CreateCanvas(3, 3);
    DrawCanvas(target.get(), source.get(), c.opacity);
    StraightPixel p = CanvasPixel(target.get(), 1, 1);
    EXPECT_EQ(p.alpha, c.alpha) << c.opacity;
    if (c.alpha) {
      EXPECT_EQ(p.red, 255) << c.opacity;
    }
  }
}

TEST(DrawingTest, HandOverEqualsThePngOfTheCanvas) {
  // Odd sizes, every alpha level, a gradient of colours; the top row marks the orientation.
  CanvasPtr canvas = CreateCanvas(37, 29);
  cairo_surface_flush(canvas.get());
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 37; ++x)
      CanvasRow(canvas.get(), y)[x] = Premultiply(x * 7, y * 9, (x * y) & 255, (x * 29 + y) & 255);
  cairo_surface_mark_dirty(canvas.get());
  TempFolder folder;
  ASSERT_EQ(cairo_surface_write_to_png(canvas.get(), (folder / "c.png").c_str()), CAIRO_STATUS_SUCCESS);
  BitmapPtr expected = AdoptBitmap(FreeImage_Load(FIF_PNG, (folder / "c.png").c_str(), 0));
  BitmapPtr bitmap = CanvasToBitmap(canvas.get());
  ASSERT_EQ(FreeImage_GetBPP(bitmap.get()), 32u);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 37; ++x)
      ASSERT_EQ(ToString(PixelAt(bitmap.get(), x, y)), ToString(PixelAt(expected.get(), x, y))) << x << "," << y;
}

TEST(DrawingTest, PicturesAreReadFromBmpJpegAndPngOnly) {
  TempFolder folder;
  BitmapPtr opaque = MakeSolidBitmap(9, 6, 24, {200, 100, 50});
  BitmapPtr withAlpha = MakeSolidBitmap(9, 6, 32, {10, 20, 30, 128});
  SaveBitmap(opaque.get(), FIF_BMP, folder / "a.bmp");
  SaveBitmap(opaque.get(), FIF_JPEG, folder / "a.jpg", 100);
  SaveBitmap(withAlpha.get(), FIF_PNG, folder / "a.png");
  SaveBitmap(opaque.get(), FIF_TIFF, folder / "a.tif");
  SaveBitmap(opaque.get(), FIF_TARGA, folder / "a.tga");
  // A PNG saved under another name is still a PNG: the content decides.
  SaveBitmap(withAlpha.get(), FIF_PNG, folder / "png.bmp");

  struct Case {
    std::string name;
    bool read;
    int bpp;
    bool transparent;
  };
  for (const Case& c : {Case{"a.bmp", true, 24, false},
                        {"a.jpg", true, 24, false},
                        {"a.png", true, 32, true},
                        {"png.bmp", true, 32, true},
                        {"a.tif", false, 0, false},
                        {"a.tga", false, 0, false},
                        {"missing.png", false, 0, false}}) {
    Picture picture;
    EXPECT_EQ(ReadPicture(folder / c.name, 1000, picture) == PictureRead::kRead, c.read) << c.name;
    if (!c.read) continue;
    EXPECT_EQ(picture.width, 9) << c.name;
    EXPECT_EQ(picture.height, 6) << c.name;
    EXPECT_EQ(picture.bitsPerPixel, c.bpp) << c.name;
    EXPECT_EQ(picture.transparent, c.transparent) << c.name;
  }
  Picture png;
  ASSERT_EQ(ReadPicture(folder / "a.png", 1000, png), PictureRead::kRead);
  StraightPixel p = CanvasPixel(png.canvas.get(), 8, 5);
  EXPECT_EQ(p.alpha, 128);
  EXPECT_NEAR(p.red, 10, 1);
  EXPECT_NEAR(p.blue, 30, 1);
}

TEST(DrawingTest, PictureLargerThanAllowedIsRefusedBeforeDecoding) {
  TempFolder folder;
  SaveBitmap(MakeSolidBitmap(40, 30, 24, {1, 2, 3}).get(), FIF_PNG, folder / "p.png");
  Picture picture;
  EXPECT_EQ(ReadPicture(folder / "p.png", 40 * 30 - 1, picture), PictureRead::kUnusable);
  EXPECT_EQ(ReadPicture(folder / "p.png", 40 * 30, picture), PictureRead::kRead);
}

TEST(DrawingTest, PaletteTransparencyCountsAndEmptyBmpAlphaMeansOpaque) {
  TempFolder folder;
  BitmapPtr palette = MakeSolidBitmap(4, 4, 8, {7, 7, 7});
  BYTE table[256];
  std::fill(std::begin(table), std::end(table), BYTE{255});
  table[7] = 0;
  FreeImage_SetTransparencyTable(palette.get(), table, 256);
  SaveBitmap(palette.get(), FIF_PNG, folder / "palette.png");
  SaveBitmap(MakeSolidBitmap(4, 4, 32, {90, 80, 70, 0}).get(), FIF_BMP, folder / "noalpha.bmp");

  Picture picture;
  ASSERT_EQ(ReadPicture(folder / "palette.png", 100, picture), PictureRead::kRead);
  EXPECT_EQ(picture.bitsPerPixel, 8);
  EXPECT_TRUE(picture.transparent);
  EXPECT_EQ(CanvasPixel(picture.canvas.get(), 1, 1).alpha, 0);

  ASSERT_EQ(ReadPicture(folder / "noalpha.bmp", 100, picture), PictureRead::kRead);
  EXPECT_EQ(CanvasPixel(picture.canvas.get(), 1, 1).alpha, 255);
  EXPECT_EQ(CanvasPixel(picture.canvas.get(), 1, 1).red, 90);
}
