// Files whose headers claim absurd sizes must be refused before their decoder allocates.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Loading.h"
#include "pipeline/Transforms.h"
#include "platform/ChildProcess.h"
#include "settings/ConversionSettings.h"
#include "support/DamagedFiles.h"
#include "support/DngWriter.h"
#include "support/ProgramState.h"
#include "support/RunProgram.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

// The process's address space in use.
rlim_t VirtualMemoryBytes() {
  rlim_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

long PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// A 600-byte JPEG that claims 20000 x 20000 pixels made the JPEG decoder allocate and fill
// 1.2 GB. Named like a camera file, it passes acceptance and reaches every decoder.
TEST(LoadingLimits, JpegClaimingHugeSizeIsNotDecoded) {
  ResetProgramState();
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
  std::vector<uint8_t> jpeg = SmallJpeg(16, 16);
  ASSERT_TRUE(SetJpegFrameSize(jpeg, 20000, 20000));
  WriteBytes(folder / "claims.cr2", jpeg);

  // Nor is it read as headerless pixels: its signature says what it is.
  EXPECT_FALSE(LoadSourceImage(folder / "claims.cr2", settings));
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

TEST(LoadingLimits, JpegWithinTheLimitsStillDecodes) {
  ResetProgramState();
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
  WriteBytes(folder / "small.cr2", SmallJpeg(40, 30));
  BitmapPtr bitmap = LoadSourceImage(folder / "small.cr2", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), 40);
  EXPECT_EQ(HeightOf(bitmap), 30);
  EXPECT_EQ(BppOf(bitmap), 24);
}

// A DNG that states a mosaic of 30000 x 25000 pixels, in a file of a few kilobytes, for
// every RAW mode: refused before the RAW decoder runs, and never read as headerless pixels.
TEST(LoadingLimits, DngClaimingHugeSizeIsRefusedInEveryMode) {
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", DngOptions{}));
  std::vector<uint8_t> dng = ReadBytes(folder / "plain.dng");
  ASSERT_TRUE(SetTiffImageSize(dng, 30000, 25000));
  WriteBytes(folder / "claims.dng", dng);
  for (int32_t loadAs : {0, 3, 4, 5}) {
    settings = DefaultConversionSettings(true);
    settings.rawLoadAs = loadAs;
    EXPECT_FALSE(LoadSourceImage(folder / "claims.dng", settings)) << "rawLoadAs " << loadAs;
  }
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

// The RAW decoder gives an embedded JPEG preview straight to the JPEG decoder: a DNG whose
// preview header claims 30000 x 30000 pixels took 2.6 GB and 6 s to load. The preview is
// passed over and the mosaic decoded, as for a file without a preview.
TEST(LoadingLimits, DngPreviewClaimingHugeSizeIsPassedOver) {
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
  DngOptions options;
  options.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  std::vector<uint8_t> dng = ReadBytes(folder / "plain.dng");
  ASSERT_TRUE(SetJpegFrameSize(dng, 30000, 30000));
  WriteBytes(folder / "claims.dng", dng);
  ResetProgramState();

  BitmapPtr bitmap = LoadSourceImage(folder / "claims.dng", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), DngOptions{}.width);
  EXPECT_EQ(HeightOf(bitmap), DngOptions{}.height);
  EXPECT_EQ(BppOf(bitmap), 24);
  EXPECT_LT(PeakResidentMegabytes(), 500);
}

// The same DNG with an honest preview still yields the preview.
TEST(LoadingLimits, DngPreviewWithinTheLimitsIsDecoded) {
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  TempFolder folder;
  DngOptions options;
  options.preview = true;
  options.width = 120;
  options.height = 80;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  ResetProgramState();
  BitmapPtr bitmap = LoadSourceImage(folder / "plain.dng", settings);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(WidthOf(bitmap), 120);
  EXPECT_EQ(HeightOf(bitmap), 80);
  EXPECT_EQ(BppOf(bitmap), 24);
}

// AL and DRR work on a 96-bit float copy of the image: at the limits' largest 48-bit image
// (150 megapixels) that copy alone took 1.8 GB. GD's Poisson grid grows with the longer side
// whatever the area: a 9000 x 200 strip took 5.8 GB.
TEST(LoadingLimits, ToneMappingStopsWhereItsWorkingMemoryWouldExceedTheLimits) {
  constexpr int32_t kUnknown = 99;
  const struct {
    int64_t width, height;
    int32_t code;
    bool fits;
  } rows[] = {
      {6000, 4000, kToneMapAl, true},       {6000, 4000, kToneMapGd, true},   {9000, 9000, kToneMapDrr, true},  // 81 MP
      {9500, 9500, kToneMapAl, false},      {9500, 9500, kToneMapDrr, false}, {9500, 9500, kToneMapGd, false},  // 90 MP
      {9500, 9500, kToneMapLinear, true},   {9500, 9500, kToneMapNone, true}, {9500, 9500, kUnknown, true},
      {15000, 10000, kToneMapLinear, true}, {9000, 200, kToneMapGd, false},   // a grid of side 16385: 5.7 GB
      {8192, 3000, kToneMapGd, true},       {6400, 4400, kToneMapGd, false},  // 2.07 GB, 2.16 GB
      {500, 31, kToneMapGd, false},                                           // no pyramid level below 32
  };
  for (const auto& r : rows)
    EXPECT_EQ(ToneMappingFitsLimits(r.width, r.height, r.code), r.fits)
        << r.width << "x" << r.height << " code " << r.code;
}

// An allocation that failed inside GD's Poisson solver went unreported: the operator handed
// back its unsolved input, a dark picture, and it was saved. Here the solver's grids (358 MB
// for a side of 2049) do not fit in the address space the child has left.
TEST(LoadingLimits, ToneMappingThatRunsShortOfMemoryFails) {
  if (IsSanitizerBuild()) GTEST_SKIP() << "sanitizer builds cannot limit the address space";
  ResetProgramState();
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  settings.rawLoadAs = kLoadAs48;
  settings.rawToneMapping = kToneMapGd;
  ASSERT_TRUE(ToneMappingFitsLimits(2049, 64, kToneMapGd));
  BitmapPtr input = MakeTestBitmap(2049, 64, 48, TestPattern::kQuadrants);
  ASSERT_TRUE(input);
  const ChildResult result = RunInChildProcess([&input, &settings](std::string&) {
    const rlimit limit{VirtualMemoryBytes() + (rlim_t{200} << 20), RLIM_INFINITY};
    return setrlimit(RLIMIT_AS, &limit) == 0 && !ApplyToneMapping(std::move(input), settings);
  });
  EXPECT_TRUE(result.succeeded);
}

}  // namespace
