// Files whose headers claim absurd sizes must be refused before their decoder allocates.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Loading.h"
#include "settings/ConversionSettings.h"
#include "support/DamagedFiles.h"
#include "support/DngWriter.h"
#include "support/TestFiles.h"

namespace {

long PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// A 600-byte JPEG that claims 20000 x 20000 pixels made the JPEG decoder allocate and fill
// 1.2 GB. Named like a camera file, it passes acceptance and reaches every decoder.
TEST(LoadingLimits, JpegClaimingHugeSizeIsNotDecoded) {
  ResetConversionSettings(true);
  TempFolder folder;
  std::vector<uint8_t> jpeg = SmallJpeg(16, 16);
  ASSERT_TRUE(SetJpegFrameSize(jpeg, 20000, 20000));
  WriteBytes(folder / "claims.cr2", jpeg);

  BitmapPtr bitmap = LoadSourceImage(folder / "claims.cr2");
  // The last decoder reads any file as headerless 5-6-5 pixels: a small square.
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(BppOf(bitmap), 16);
  EXPECT_LT(WidthOf(bitmap), 100);
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

TEST(LoadingLimits, JpegWithinTheLimitsStillDecodes) {
  ResetConversionSettings(true);
  TempFolder folder;
  WriteBytes(folder / "small.cr2", SmallJpeg(40, 30));
  BitmapPtr bitmap = LoadSourceImage(folder / "small.cr2");
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), 40);
  EXPECT_EQ(HeightOf(bitmap), 30);
  EXPECT_EQ(BppOf(bitmap), 24);
}

// A DNG that states a mosaic of 30000 x 25000 pixels, in a file of a few kilobytes, for
// every RAW mode: refused before the RAW decoder runs, so loading ends in the headerless
// fallback.
TEST(LoadingLimits, DngClaimingHugeSizeFallsThroughToHeaderlessPixels) {
  TempFolder folder;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", DngOptions{}));
  std::vector<uint8_t> dng = ReadBytes(folder / "plain.dng");
  ASSERT_TRUE(SetTiffImageSize(dng, 30000, 25000));
  WriteBytes(folder / "claims.dng", dng);
  for (int32_t loadAs : {0, 3, 4, 5}) {
    ResetConversionSettings(true);
    ConversionSettings.rawLoadAs = loadAs;
    BitmapPtr bitmap = LoadSourceImage(folder / "claims.dng");
    ASSERT_TRUE(bitmap) << "rawLoadAs " << loadAs;
    EXPECT_EQ(BppOf(bitmap), 16) << "rawLoadAs " << loadAs;
  }
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

// The RAW decoder gives an embedded JPEG preview straight to the JPEG decoder: a DNG whose
// preview header claims 30000 x 30000 pixels took 2.6 GB and 6 s to load. The preview is
// passed over and the mosaic decoded, as for a file without a preview.
TEST(LoadingLimits, DngPreviewClaimingHugeSizeIsPassedOver) {
  TempFolder folder;
  DngOptions options;
  options.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  std::vector<uint8_t> dng = ReadBytes(folder / "plain.dng");
  ASSERT_TRUE(SetJpegFrameSize(dng, 30000, 30000));
  WriteBytes(folder / "claims.dng", dng);
  ResetConversionSettings(true);

  BitmapPtr bitmap = LoadSourceImage(folder / "claims.dng");
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), DngOptions{}.width);
  EXPECT_EQ(HeightOf(bitmap), DngOptions{}.height);
  EXPECT_EQ(BppOf(bitmap), 24);
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

// The same DNG with an honest preview still yields the preview.
TEST(LoadingLimits, DngPreviewWithinTheLimitsIsDecoded) {
  TempFolder folder;
  DngOptions options;
  options.preview = true;
  options.width = 120;
  options.height = 80;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  ResetConversionSettings(true);
  BitmapPtr bitmap = LoadSourceImage(folder / "plain.dng");
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), 120);
  EXPECT_EQ(HeightOf(bitmap), 80);
  EXPECT_EQ(BppOf(bitmap), 24);
}

// The three tone-mapping operators work on a 96-bit float copy of the image: at the limits'
// largest 48-bit image (150 megapixels) that copy alone took 1.8 GB, and GD's float planes
// beside it more than 10 GB.
TEST(LoadingLimits, ToneMappingStopsWhereItsFloatCopyWouldExceedTheLimits) {
  constexpr int32_t kNone = 0, kLinear = 1, kAl = 2, kDrr = 3, kGd = 4, kUnknown = 99;
  const struct {
    int64_t width, height;
    int32_t code;
    bool fits;
  } rows[] = {
      {6000, 4000, kAl, true},     {6000, 4000, kGd, true},      {9000, 9000, kDrr, true},  // 81 MP
      {9500, 9500, kAl, false},    {9500, 9500, kDrr, false},    {9500, 9500, kGd, false},  // 90 MP
      {9500, 9500, kLinear, true}, {9500, 9500, kNone, true},    {9500, 9500, kUnknown, true},
      {15000, 10000, kLinear, true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ToneMappingFitsLimits(r.width, r.height, r.code), r.fits) << r.width << "x" << r.height << " code " << r.code;
}

}  // namespace
