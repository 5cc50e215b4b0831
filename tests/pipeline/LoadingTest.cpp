#include "pipeline/Loading.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>

#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/Transforms.h"
#include "settings/ConversionSettings.h"
#include "support/DngWriter.h"
#include "support/HeaderlessFiles.h"
#include "support/ProgramState.h"
#include "support/RunProgram.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

// Tolerances: headerless pixels are exact; the preview is a quality-90 JPEG of flat
// quadrants, compared away from the quadrant edges, within 6 levels.
constexpr int kPreviewTolerance = 6;

class LoadingTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
};

struct SquareCase {
  int32_t mode;
  size_t bytes;
  int side;
  unsigned bpp;
};

TEST_F(LoadingTest, HeaderlessDataWithoutSizeIsReadAsSquare) {
  const SquareCase cases[] = {
      {kLoadAs16BitPixels, 800, 20, 16},  // 400 two-byte pixels
      {kLoadAs16BitPixels, 810, 20, 16},  // sqrt(405) = 20.12: the last 10 bytes are ignored
      {kLoadAs8BitPixels, 400, 20, 8},   {kLoadAs8BitPixels, 419, 20, 8},
      {kLoadAs8BitPixels, 421, 21, 8},   {kLoadAs16BitPixels, 2, 1, 16},
  };
  for (const SquareCase& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + ", " + std::to_string(c.bytes) + " bytes");
    std::vector<uint8_t> bytes = HeaderlessPixels(40, 40, c.mode == kLoadAs8BitPixels ? 8 : 16, TestPattern::kGradient);
    bytes.resize(c.bytes);
    WriteBytes(folder / "pixels.raw", bytes);
    BitmapPtr bitmap = LoadRawPixelData(folder / "pixels.raw", c.mode, settings);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), static_cast<unsigned>(c.side));
    EXPECT_EQ(FreeImage_GetHeight(bitmap.get()), static_cast<unsigned>(c.side));
    EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), c.bpp);
  }
}

TEST_F(LoadingTest, HeaderlessPixelsKeepTheirPlaceAndColour) {
  WriteHeaderlessFile(folder / "565.raw", 20, 20, 16, TestPattern::kQuadrants);
  BitmapPtr bitmap = LoadRawPixelData(folder / "565.raw", kLoadAs16BitPixels, settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(FreeImage_GetRedMask(bitmap.get()), unsigned{FI16_565_RED_MASK});
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(PixelAt(bitmap.get(), x, y), Through565(PatternColor(TestPattern::kQuadrants, 20, 20, x, y)))
          << "at " << x << "," << y;
}

TEST_F(LoadingTest, HeaderIsSkippedAndGivenSizeWins) {
  settings.rawHeaderSize = 37;
  settings.rawWidth = 13;
  settings.rawHeight = 7;
  WriteHeaderlessFile(folder / "grey.raw", 13, 7, 8, TestPattern::kGradient, 37);
  BitmapPtr bitmap = LoadRawPixelData(folder / "grey.raw", kLoadAs8BitPixels, settings);
  ASSERT_TRUE(bitmap);
  ASSERT_EQ(FreeImage_GetWidth(bitmap.get()), 13u);
  ASSERT_EQ(FreeImage_GetHeight(bitmap.get()), 7u);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x)
      ASSERT_EQ(PixelAt(bitmap.get(), x, y).red, GreyOf(PatternColor(TestPattern::kGradient, 13, 7, x, y)));
}

TEST_F(LoadingTest, ShortDataIsPaddedWithBlackRowsAndLongDataIsCut) {
  settings.rawWidth = 10;
  settings.rawHeight = 10;
  WriteHeaderlessFile(folder / "short.raw", 10, 6, 8, TestPattern::kMidGrey);
  WriteHeaderlessFile(folder / "long.raw", 10, 12, 8, TestPattern::kGradient);

  BitmapPtr padded = LoadRawPixelData(folder / "short.raw", kLoadAs8BitPixels, settings);
  ASSERT_TRUE(padded);
  EXPECT_EQ(PixelAt(padded.get(), 9, 5).red, 100);
  EXPECT_EQ(PixelAt(padded.get(), 0, 6).red, 0);
  EXPECT_EQ(PixelAt(padded.get(), 9, 9).red, 0);

  BitmapPtr cut = LoadRawPixelData(folder / "long.raw", kLoadAs8BitPixels, settings);
  ASSERT_TRUE(cut);
  ASSERT_EQ(FreeImage_GetHeight(cut.get()), 10u);
  EXPECT_EQ(PixelAt(cut.get(), 4, 9).red, GreyOf(PatternColor(TestPattern::kGradient, 10, 12, 4, 9)));
}

TEST_F(LoadingTest, WidthWithoutHeightFallsBackToTheSquare) {
  settings.rawWidth = 8;
  WriteHeaderlessFile(folder / "grey.raw", 20, 20, 8, TestPattern::kMidGrey);
  BitmapPtr bitmap = LoadRawPixelData(folder / "grey.raw", kLoadAs8BitPixels, settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), 20u);
}

struct RefusedCase {
  const char* name;
  int32_t header, width, height, mode;
  size_t fileBytes;
};

TEST_F(LoadingTest, UnsafeOrEmptyHeaderlessRequestsFail) {
  const RefusedCase cases[] = {
      {"negative header", -10, 0, 0, kLoadAs16BitPixels, 800},
      {"header as long as the file", 800, 0, 0, kLoadAs16BitPixels, 800},
      {"header beyond the file", 5000, 0, 0, kLoadAs16BitPixels, 800},
      {"empty file", 0, 0, 0, kLoadAs16BitPixels, 0},
      {"negative width", 0, -20, 20, kLoadAs16BitPixels, 800},
      {"negative height", 0, 20, -20, kLoadAs8BitPixels, 800},
      {"more than 1 GiB", 0, 40000, 40000, kLoadAs8BitPixels, 800},
      {"overflowing 32 bits", 0, INT_MAX, INT_MAX, kLoadAs16BitPixels, 800},
      {"side beyond the limit", 0, 70000, 1, kLoadAs8BitPixels, 800},
      {"a mode that is not headerless", 0, 0, 0, kLoadAs24, 800},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    settings.rawHeaderSize = c.header;
    settings.rawWidth = c.width;
    settings.rawHeight = c.height;
    WriteBytes(folder / "data.raw", std::vector<uint8_t>(c.fileBytes, 7));
    EXPECT_FALSE(LoadRawPixelData(folder / "data.raw", c.mode, settings));
  }
  ConversionSettings = ConversionSettingsRecord{};
  EXPECT_FALSE(LoadRawPixelData(folder / "missing.raw", kLoadAs16BitPixels, settings));
  EXPECT_FALSE(LoadRawPixelData(folder.path(), kLoadAs16BitPixels, settings));
}

TEST_F(LoadingTest, EightBitModeReadsEvenACameraFileAsHeaderlessPixels) {
  DngOptions dng;
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", dng));
  settings.rawLoadAs = kLoadAs8BitPixels;
  BitmapPtr bitmap = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(bitmap);
  struct stat info {};
  ASSERT_EQ(stat((folder / "camera.dng").c_str(), &info), 0);
  const auto side = static_cast<unsigned>(std::nearbyint(std::sqrt(static_cast<double>(info.st_size))));
  EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), 8u);
  EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), side);
}

TEST_F(LoadingTest, AutoTakesTheEmbeddedPreview) {
  DngOptions dng;
  dng.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", dng));
  BitmapPtr bitmap = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), 24u);
  // The demosaiced mosaic comes out more saturated (about 243, 24, 24 for the red quadrant),
  // so matching the scene closely shows that the preview was taken.
  EXPECT_EQ(CompareWithPattern(bitmap.get(), TestPattern::kQuadrants, kPreviewTolerance, 4), "");
}

TEST_F(LoadingTest, AutoWithoutPreviewDecodesTheMosaicTo24Bits) {
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", DngOptions{}));
  BitmapPtr bitmap = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), 24u);
  EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), 96u);
  const Rgb8 topLeft = PixelAt(bitmap.get(), 20, 15);
  EXPECT_GT(topLeft.red, 200);
  EXPECT_LT(topLeft.green, 80);
}

// Resized from its full size, an image decoded smaller for the resize gives the size of the
// full-size route and nearly its pixels, for every filter that takes it. Orientation 6 swaps
// the sides the scale is chosen for; BOX, which does not take it, gets the full size. The
// files written from these pictures are compared in bench/ ("filters").
void ExpectReducedDecodeResizesLikeTheFullSize(ConversionSettingsRecord& settings, const std::string& path, int target,
                                               bool reduces) {
  settings.doResize = 1;
  settings.width = settings.height = target;
  settings.keepAspectRatio = 1;
  for (int8_t algorithm = 0; algorithm <= 5; ++algorithm) {
    SCOPED_TRACE("filter " + std::to_string(algorithm));
    settings.resizeAlgorithm = algorithm;
    BitmapPtr full = LoadSourceImage(path, settings);
    std::optional<TargetSize> given;
    BitmapPtr reduced = LoadSourceImage(path, settings, &given);
    ASSERT_TRUE(full && reduced);
    const bool reducedHere = reduces && algorithm != 0;
    const std::optional<TargetSize> fullTarget = ResizeTarget({WidthOf(full), HeightOf(full)}, settings);
    ASSERT_TRUE(fullTarget);
    ASSERT_EQ(given.has_value(), reducedHere);
    if (given) {
      EXPECT_EQ(given->width, fullTarget->width);
      EXPECT_EQ(given->height, fullTarget->height);
    }
    EXPECT_EQ(WidthOf(reduced) < WidthOf(full), reducedHere);
    // Never below 3/8: smaller scales alias.
    EXPECT_GE(WidthOf(reduced) * 8, WidthOf(full) * 3);
    BitmapPtr expected = ApplyResize(std::move(full), fullTarget, settings);
    BitmapPtr actual = ApplyResize(std::move(reduced), reducedHere ? given : fullTarget, settings);
    ASSERT_TRUE(actual && expected);
    EXPECT_EQ(WidthOf(actual), WidthOf(expected));
    EXPECT_EQ(HeightOf(actual), HeightOf(expected));
    EXPECT_GE(PsnrOf(actual.get(), expected.get()), 40.0);
  }
}

TEST_F(LoadingTest, PreviewDecodedSmallerResizesLikeTheFullSize) {
  for (int orientation : {1, 6}) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    const DngOptions dng{
        .width = 640, .height = 420, .preview = true, .orientation = orientation, .exif = true, .noise = 4};
    const std::string path = folder / ("o" + std::to_string(orientation) + ".dng");
    ASSERT_TRUE(WriteTestDng(path, dng));
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 150, true);
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 40, true);
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 400, false);
  }
}

// An 8-bit full decode for a resize to a fifth or less is LibRaw's half-size decode for every
// filter but BOX; to more than a third, never.
TEST_F(LoadingTest, FullDecodeAtHalfSizeResizesLikeTheFullSize) {
  for (int orientation : {1, 6}) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    const std::string path = folder / ("o" + std::to_string(orientation) + ".dng");
    ASSERT_TRUE(WriteTestDng(path, {.width = 640, .height = 420, .orientation = orientation, .noise = 4}));
    settings.rawLoadAs = kLoadAs24;
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 80, true);
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 250, false);  // more than a third of 640
    settings.rawLoadAs = kLoadAs48;  // tone mapped afterwards: always the full size
    ExpectReducedDecodeResizesLikeTheFullSize(settings, path, 80, false);
  }
}

TEST_F(LoadingTest, CameraPreviewDecodedSmallerResizesLikeTheFullSize) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples in ../shared/samples/raw";
  // Its preview is 1440 x 960: a sixth of it and a little less than half.
  for (int target : {240, 700})
    ExpectReducedDecodeResizesLikeTheFullSize(settings, samples + "/RAW_CANON_D30_SRGB.CRW", target, true);
}

// A JPEG file (under a camera file's name) scales in FreeImage's decoder, which notes the
// file's size among the comments when it does: the note must not reach the output.
TEST_F(LoadingTest, JpegDecodedSmallerKeepsItsOwnCommentsOnly) {
  BitmapPtr picture = MakeTestBitmap(400, 300, 24, TestPattern::kGradient);
  ASSERT_TRUE(FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, picture.get(), "Comment", "from the camera"));
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, picture.get(), (folder / "picture.cr2").c_str(), 90));
  ExpectReducedDecodeResizesLikeTheFullSize(settings, folder / "picture.cr2", 90, true);
  std::optional<TargetSize> target;
  BitmapPtr reduced = LoadSourceImage(folder / "picture.cr2", settings, &target);
  ASSERT_TRUE(target);
  ASSERT_LT(WidthOf(reduced), 400);
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_COMMENTS, reduced.get()), 1u);
}

struct ToneCase {
  int32_t loadAs;
  int32_t toneMapping;
  unsigned loadedBpp;
  unsigned mappedBpp;
  unsigned width;
};

TEST_F(LoadingTest, ToneMappingRunsOnlyFor48BitLoads) {
  DngOptions dng;
  dng.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", dng));
  const ToneCase cases[] = {
      {5, 0, 48, 48, 96},  // "48" with NONE keeps the 48 bits
      {5, 1, 48, 24, 96},  // LINEAR
      {5, 2, 48, 24, 96},  // AL
      {5, 3, 48, 24, 96},  // DRR
      {5, 4, 48, 24, 96},  // GD
      {4, 2, 48, 24, 48},  // "48HS" is half size
      {0, 2, 24, 24, 96},  // AUTO: no tone mapping whatever the setting
      {3, 1, 24, 24, 96},  // "24"
  };
  for (const ToneCase& c : cases) {
    SCOPED_TRACE("rawLoadAs " + std::to_string(c.loadAs) + ", tone mapping " + std::to_string(c.toneMapping));
    settings.rawLoadAs = c.loadAs;
    settings.rawToneMapping = c.toneMapping;
    BitmapPtr bitmap = LoadSourceImage(folder / "camera.dng", settings);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), c.loadedBpp);
    EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), c.width);
    FIBITMAP* loaded = bitmap.get();
    BitmapPtr mapped = ApplyToneMapping(std::move(bitmap), settings);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(FreeImage_GetBPP(mapped.get()), c.mappedBpp);
    if (c.mappedBpp == c.loadedBpp) {
      EXPECT_EQ(mapped.get(), loaded) << "the bitmap should pass unchanged";
    }
    // Every mapping keeps the scene recognisable: the top-left quadrant stays red.
    const Rgb8 topLeft = PixelAt(mapped.get(), static_cast<int>(c.width) / 4, 8);
    EXPECT_GT(topLeft.red, topLeft.green + 50);
  }
}

TEST_F(LoadingTest, UnknownFileBecomesA565Picture) {
  WriteText(folder / "notes.txt", std::string(800, 'x'));
  BitmapPtr bitmap = LoadSourceImage(folder / "notes.txt", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(FreeImage_GetBPP(bitmap.get()), 16u);
  EXPECT_EQ(FreeImage_GetWidth(bitmap.get()), 20u);
  EXPECT_FALSE(LoadSourceImage(folder / "missing.dng", settings));
}

TEST_F(LoadingTest, JpegInputIsTurnedByItsOrientation) {
  // A preview decoded from a DNG is upright but still says Orientation 6; saved as it is,
  // it makes a JPEG that a reader turns once more.
  DngOptions dng;
  dng.preview = true;
  dng.orientation = 6;
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", dng));
  BitmapPtr upright = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(upright);
  ASSERT_EQ(FreeImage_GetWidth(upright.get()), 64u);
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, upright.get(), (folder / "turned.jpg").c_str(), 90));
  BitmapPtr loaded = LoadSourceImage(folder / "turned.jpg", settings);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(FreeImage_GetWidth(loaded.get()), 96u);
  EXPECT_EQ(FreeImage_GetHeight(loaded.get()), 64u);
}

// FreeImage's turn upright drops the colour profile, of a camera file's preview and of a JPEG
// file (saved from it, still saying Orientation 6) alike.
TEST_F(LoadingTest, ColourProfileSurvivesTheTurnUpright) {
  std::vector<uint8_t> profile(132, 0);  // a header naming the colour space, and no tags
  std::copy_n("RGB ", 4, profile.begin() + 16);
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", {.preview = true, .previewProfile = profile, .orientation = 6}));
  BitmapPtr preview = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(preview && FreeImage_Save(FIF_JPEG, preview.get(), (folder / "turned.jpg").c_str(), 90));
  BitmapPtr jpeg = LoadSourceImage(folder / "turned.jpg", settings);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(FreeImage_GetICCProfile(preview.get())->size, 132);
  EXPECT_EQ(FreeImage_GetICCProfile(jpeg.get())->size, 132);
}

TEST_F(LoadingTest, JpegClaimingAHugeSizeIsNotDecoded) {
  BitmapPtr small = MakeTestBitmap(16, 16, 24, TestPattern::kGradient);
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  ASSERT_TRUE(FreeImage_SaveToMemory(FIF_JPEG, small.get(), stream.get(), 90));
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(stream.get(), &data, &size);
  std::vector<uint8_t> jpeg(data, data + size);
  // The baseline frame header (FF C0) holds the height and width after its length and precision.
  size_t frame = 2;
  while (frame + 9 < jpeg.size() && !(jpeg[frame] == 0xFF && jpeg[frame + 1] == 0xC0))
    frame += 2 + (jpeg[frame + 2] << 8 | jpeg[frame + 3]);
  ASSERT_LT(frame + 9, jpeg.size());
  for (size_t at : {frame + 5, frame + 7}) jpeg[at] = 20000 >> 8, jpeg[at + 1] = 20000 & 0xFF;
  WriteBytes(folder / "claims-1.2GB.dng", jpeg);

  EXPECT_FALSE(LoadSourceImage(folder / "claims-1.2GB.dng", settings)) << "not even as headerless pixels";
}

TEST_F(LoadingTest, MetadataHolderKeepsTheInputsMetadata) {
  DngOptions dng;
  dng.preview = true;
  dng.exif = true;
  ASSERT_TRUE(WriteTestDng(folder / "camera.dng", dng));
  BitmapPtr bitmap = LoadSourceImage(folder / "camera.dng", settings);
  ASSERT_TRUE(bitmap);
  BitmapPtr holder = MakeMetadataHolder(bitmap.get());
  ASSERT_TRUE(holder);
  EXPECT_EQ(FreeImage_GetWidth(holder.get()), 10u);
  FITAG* make = nullptr;
  ASSERT_TRUE(FreeImage_GetMetadata(FIMD_EXIF_MAIN, holder.get(), "Make", &make));
  EXPECT_STREQ(static_cast<const char*>(FreeImage_GetTagValue(make)), "Quillmark");
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_EXIF_RAW, holder.get()), 1u);
}

}  // namespace
