// The whole program with frame and watermark options: the saved JPEG carries them.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/DngWriter.h"
#include "support/RunProgram.h"
#include "support/SolidBitmaps.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

constexpr int kWidth = 240, kHeight = 160;
// Two JPEG generations (the preview, then the output at quality 100): flat areas away from
// edges stay within a few levels.
constexpr int kJpegTolerance = 8;

class FramesAndWatermarksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DngOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.preview = true;
    ASSERT_TRUE(WriteTestDng(input, options));
    mkdir(output.c_str(), 0755);
  }
  // Converts with the extra options and loads the JPEG it wrote.
  BitmapPtr ConvertAndLoad(std::vector<std::string> extra) {
    std::vector<std::string> args = {"-q", "-i", input, "-o", output, "--jpg-quality=100"};
    args.insert(args.end(), extra.begin(), extra.end());
    ProgramRun run = RunPixquill(args);
    EXPECT_EQ(run.exitStatus, 0) << run.stdoutText;
    return BitmapPtr(FreeImage_Load(FIF_JPEG, (output + "/scene.jpg").c_str(), 0));
  }
  Rgb8 Scene(int x, int y) const { return PatternColor(TestPattern::kQuadrants, kWidth, kHeight, x, y); }

  TempFolder folder;
  std::string input = folder / "scene.dng";
  std::string output = folder / "out";
};

TEST_F(FramesAndWatermarksTest, FrameIsPaintedInsideTheImage) {
  BitmapPtr image = ConvertAndLoad(
      {"--fr-solid-top=20", "--fr-solid-left=12", "--fr-solid-top-color=ff0000", "--fr-solid-left-color=0000FF"});
  ASSERT_TRUE(image);
  EXPECT_EQ(FreeImage_GetWidth(image.get()), static_cast<unsigned>(kWidth));
  EXPECT_EQ(FreeImage_GetHeight(image.get()), static_cast<unsigned>(kHeight));
  EXPECT_TRUE(Near(PixelAt(image.get(), kWidth / 2, 8), {255, 0, 0}, kJpegTolerance));
  EXPECT_TRUE(Near(PixelAt(image.get(), kWidth - 5, 8), {255, 0, 0}, kJpegTolerance)) << "full width";
  EXPECT_TRUE(Near(PixelAt(image.get(), 4, kHeight / 2 + 30), {0, 0, 255}, kJpegTolerance));
  for (auto [x, y] : {std::pair{kWidth * 3 / 4, kHeight / 4 + 10}, std::pair{kWidth - 10, kHeight - 10}})
    EXPECT_TRUE(Near(PixelAt(image.get(), x, y), Scene(x, y), kJpegTolerance))
        << ToString(PixelAt(image.get(), x, y)) << " at " << x << "," << y;
}

TEST_F(FramesAndWatermarksTest, TextWatermarkInTheDefaultFontSitsAtTheBottomRight) {
  BitmapPtr image = ConvertAndLoad({"--wm-text=Hello", "--wm-font-size=20", "--wm-back-opacity=255",
                                    "--wm-font-color=FFFFFF", "--wm-text-padding=4"});
  ASSERT_TRUE(image);
  // The box ends 10 pixels from the right and bottom edges; its background is opaque black.
  EXPECT_TRUE(Near(PixelAt(image.get(), kWidth - 12, kHeight - 12), {0, 0, 0}, kJpegTolerance));
  EXPECT_TRUE(Near(PixelAt(image.get(), kWidth - 5, kHeight - 5), Scene(kWidth - 5, kHeight - 5), kJpegTolerance));
  int light = 0;
  for (int y = kHeight - 40; y < kHeight - 10; ++y)
    for (int x = kWidth - 80; x < kWidth - 10; ++x) light += PixelAt(image.get(), x, y).red > 200;
  EXPECT_GT(light, 20) << "the letters are drawn in white";
}

TEST_F(FramesAndWatermarksTest, PictureWatermarkIsPlacedAtItsAnchor) {
  std::string picture = folder / "logo.png";
  BitmapPtr logo = MakeSolidBitmap(30, 20, 24, {255, 255, 0});
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, logo.get(), picture.c_str(), 0));
  BitmapPtr image = ConvertAndLoad(
      {"--wm-image=" + picture, "--wm-image-position=topleft", "--wm-image-x-offset=5", "--wm-image-y-offset=6"});
  ASSERT_TRUE(image);
  EXPECT_TRUE(Near(PixelAt(image.get(), 20, 16), {255, 255, 0}, kJpegTolerance));
  EXPECT_TRUE(Near(PixelAt(image.get(), 60, 40), Scene(60, 40), kJpegTolerance)) << "outside the picture";
}

}  // namespace
