#include "pipeline/Overlays.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/SolidBitmaps.h"

namespace {

// A canvas of random premultiplied pixels, a quarter of them fully transparent and a quarter
// fully opaque, the rest in between.
CanvasPtr RandomCanvas(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  CanvasPtr canvas = CreateCanvas(width, height);
  cairo_surface_flush(canvas.get());
  for (int y = 0; y < height; ++y) {
    uint32_t* row = CanvasRow(canvas.get(), y);
    for (int x = 0; x < width; ++x) {
      unsigned kind = random() % 4;
      unsigned alpha = kind == 0 ? 0 : kind == 1 ? 255 : random() % 256;
      row[x] = Premultiply(random() % 256, random() % 256, random() % 256, alpha);
    }
  }
  cairo_surface_mark_dirty(canvas.get());
  return canvas;
}

BitmapPtr RandomOverlay(int width, int height, unsigned seed) {
  return CanvasToBitmap(RandomCanvas(width, height, seed).get());
}

// The canvas as FreeImage reads it back from an in-memory PNG.
BitmapPtr PngRoundTrip(cairo_surface_t* canvas) {
  std::vector<unsigned char> png;
  auto write = [](void* closure, const unsigned char* data, unsigned length) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
  };
  EXPECT_EQ(cairo_surface_write_to_png_stream(canvas, write, &png), CAIRO_STATUS_SUCCESS);
  MemoryStreamPtr stream(FreeImage_OpenMemory(png.data(), static_cast<DWORD>(png.size())));
  return AdoptBitmap(FreeImage_LoadFromMemory(FIF_PNG, stream.get(), 0));
}

}  // namespace

TEST(OverlaysTest, CanvasCompositeEqualsFreeImageCompositeOfThePng) {
  constexpr int kWidth = 61, kHeight = 37;  // odd sizes expose row padding
  CanvasPtr canvas = RandomCanvas(kWidth, kHeight, 7);
  BitmapPtr photo = MakeTestBitmap(kWidth, kHeight, 24, TestPattern::kGradient);
  BitmapPtr overlay = PngRoundTrip(canvas.get());
  ASSERT_EQ(FreeImage_GetBPP(overlay.get()), 32u);
  BitmapPtr expected = AdoptBitmap(FreeImage_Composite(overlay.get(), FALSE, nullptr, photo.get()));
  ASSERT_TRUE(expected);

  ASSERT_TRUE(CompositeCanvas(photo.get(), canvas.get(), 0, 0));
  EXPECT_EQ(CountDifferentPixels(photo.get(), expected.get()), 0);
}

TEST(OverlaysTest, CanvasCompositeCoversOnlyWhereTheCanvasLies) {
  struct Case {
    int left, top, changed;
  };
  // A 5 x 4 canvas on a 20 x 10 photo, wholly inside or partly beyond an edge.
  for (Case c : {Case{0, 0, 20}, {7, 3, 20}, {17, 0, 12}, {-3, -1, 6}, {0, 8, 10}, {20, 0, 0}, {-5, 0, 0}}) {
    CanvasPtr canvas = CreateFilledCanvas(5, 4, 0xFF0000FF);
    BitmapPtr photo = MakeTestBitmap(20, 10, 24, TestPattern::kGradient);
    BitmapPtr original = AdoptBitmap(FreeImage_Clone(photo.get()));
    ASSERT_TRUE(CompositeCanvas(photo.get(), canvas.get(), c.left, c.top));
    EXPECT_EQ(CountDifferentPixels(photo.get(), original.get()), c.changed) << c.left << "," << c.top;
    if (c.changed) {
      EXPECT_EQ(PixelAt(photo.get(), std::max(c.left, 0), std::max(c.top, 0)).red, 255) << c.left << "," << c.top;
    }
  }
  BitmapPtr grey = MakeSolidBitmap(20, 10, 8, {9, 9, 9});
  EXPECT_FALSE(CompositeCanvas(grey.get(), CreateCanvas(5, 4).get(), 0, 0));
}

TEST(OverlaysTest, PastedOverlayEqualsPasteWithAlpha255ThenComposite) {
  constexpr int kWidth = 53, kHeight = 41;
  BitmapPtr overlay = RandomOverlay(17, 9, 11);
  struct Case {
    int x, y;
  };
  for (Case c : {Case{0, 0},
                 {3, 5},
                 {kWidth - 17, kHeight - 9},
                 {-1, 0},
                 {0, -1},
                 {kWidth - 16, 0},
                 {0, kHeight - 8},
                 {1000, 1000}}) {
    BitmapPtr photo = MakeTestBitmap(kWidth, kHeight, 24, TestPattern::kGradient);
    BitmapPtr layer = AdoptBitmap(FreeImage_AllocateT(FIT_BITMAP, kWidth, kHeight, 32));
    bool pasted = FreeImage_Paste(layer.get(), overlay.get(), c.x, c.y, 255);
    BitmapPtr expected = AdoptBitmap(FreeImage_Composite(layer.get(), FALSE, nullptr, photo.get()));
    ASSERT_TRUE(expected);
    BitmapPtr original = AdoptBitmap(FreeImage_Clone(photo.get()));

    ASSERT_TRUE(CompositePastedOverlay(photo.get(), overlay.get(), c.x, c.y));
    EXPECT_EQ(CountDifferentPixels(photo.get(), expected.get()), 0) << c.x << "," << c.y;
    if (!pasted) {
      EXPECT_EQ(CountDifferentPixels(photo.get(), original.get()), 0) << c.x << "," << c.y;
    }
  }
}

TEST(OverlaysTest, OpaqueWhitePastedOverBlackIsSlightlyDarkened) {
  BitmapPtr photo = MakeSolidBitmap(8, 8, 24, {0, 0, 0});
  BitmapPtr overlay = MakeSolidBitmap(4, 4, 32, {255, 255, 255, 255});
  ASSERT_TRUE(CompositePastedOverlay(photo.get(), overlay.get(), 2, 2));
  // Paste alpha 255 scales 255 to 254 in colour and alpha: (254·254 + 1·0) >> 8.
  EXPECT_EQ(ToString(PixelAt(photo.get(), 3, 3)), ToString({252, 252, 252, 255}));
  EXPECT_EQ(ToString(PixelAt(photo.get(), 1, 1)), ToString({0, 0, 0, 255}));
}

TEST(OverlaysTest, CompositingKeepsTheBitmapAndItsMetadata) {
  BitmapPtr photo = MakeTestBitmap(10, 10, 24, TestPattern::kGradient);
  AddCommentTag(photo.get(), "kept");
  CanvasPtr canvas = CreateFilledCanvas(10, 10, 0x80FFFFFF);
  ASSERT_TRUE(CompositeCanvas(photo.get(), canvas.get(), 0, 0));
  ASSERT_TRUE(CompositePastedOverlay(photo.get(), RandomOverlay(3, 3, 1).get(), 1, 1));
  EXPECT_TRUE(HasCommentTag(photo.get()));
}
