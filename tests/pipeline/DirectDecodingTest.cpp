// The direct decoders (of the preview, and of the whole image through LibRaw) must hand over
// exactly what FreeImage's RAW plug-in makes of a file: any difference would change the
// program's output.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pipeline/BitmapConversion.h"
#include "pipeline/FullDecoding.h"
#include "pipeline/PreviewDecoding.h"
#include "support/Cr3Writer.h"
#include "support/DamagedFiles.h"
#include "support/DngWriter.h"
#include "support/RunProgram.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

struct MetadataSearchCloser {
  void operator()(FIMETADATA* search) const { FreeImage_FindCloseMetadata(search); }
};

// Every tag of every model as "model/key" -> type, count and value bytes.
std::map<std::string, std::string> AllMetadata(FIBITMAP* bitmap) {
  std::map<std::string, std::string> tags;
  for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model) {
    FITAG* tag = nullptr;
    std::unique_ptr<FIMETADATA, MetadataSearchCloser> search(
        FreeImage_FindFirstMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), bitmap, &tag));
    if (!search) continue;
    do {
      const auto* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
      tags[std::to_string(model) + "/" + FreeImage_GetTagKey(tag)] =
          std::to_string(FreeImage_GetTagType(tag)) + ":" + std::to_string(FreeImage_GetTagCount(tag)) + ":" +
          std::string(value ? value : "", value ? FreeImage_GetTagLength(tag) : 0);
    } while (FreeImage_FindNextMetadata(search.get(), &tag));
  }
  return tags;
}

std::string IccBytes(FIBITMAP* bitmap) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(bitmap);
  if (!profile || !profile->data) return {};
  return std::string(static_cast<const char*>(profile->data), profile->size);
}

// LibRaw builds the EXIF block it adds to a preview on the stack and leaves the GPS
// references of a file with GPS data unset there, so those two tags carry whatever the
// stack held, up to the first zero byte: their bytes and even their length differ between
// callers and runs. Only their presence is compared, and only the size of the raw block
// that holds them.
const char* const kUnsetByLibRaw[] = {"3/GPSLatitudeRef", "3/GPSLongitudeRef"};

void KeepOnlyWhatLibRawSets(std::map<std::string, std::string>& tags) {
  for (const char* key : kUnsetByLibRaw)
    if (auto found = tags.find(key); found != tags.end()) found->second = "present";
  if (auto raw = tags.find("11/ExifRaw"); raw != tags.end()) raw->second = std::to_string(raw->second.size());
}

// The first row whose bytes differ, padding included (a writer may save whole rows); -1
// when every row is the same.
int FirstDifferentRow(FIBITMAP* actual, FIBITMAP* expected) {
  const unsigned pitch = FreeImage_GetPitch(expected);
  if (FreeImage_GetPitch(actual) != pitch || FreeImage_GetHeight(actual) != FreeImage_GetHeight(expected)) return 0;
  for (unsigned y = 0; y < FreeImage_GetHeight(expected); ++y)
    if (std::memcmp(FreeImage_GetScanLine(actual, static_cast<int>(y)),
                    FreeImage_GetScanLine(expected, static_cast<int>(y)), pitch) != 0)
      return static_cast<int>(y);
  return -1;
}

// Pixels exactly, and everything FreeImage carries beside them.
void ExpectSameBitmap(FIBITMAP* actual, FIBITMAP* expected, const std::string& name) {
  ASSERT_TRUE(actual) << name;
  ASSERT_TRUE(expected) << name;
  EXPECT_EQ(FreeImage_GetImageType(actual), FreeImage_GetImageType(expected)) << name;
  EXPECT_EQ(FreeImage_GetBPP(actual), FreeImage_GetBPP(expected)) << name;
  EXPECT_EQ(ComparePixels(actual, expected, 0), "") << name;
  EXPECT_EQ(FirstDifferentRow(actual, expected), -1) << name;
  std::map<std::string, std::string> actualTags = AllMetadata(actual), expectedTags = AllMetadata(expected);
  KeepOnlyWhatLibRawSets(actualTags);
  KeepOnlyWhatLibRawSets(expectedTags);
  EXPECT_EQ(actualTags, expectedTags) << name;
  EXPECT_EQ(IccBytes(actual), IccBytes(expected)) << name;
  EXPECT_EQ(FreeImage_GetDotsPerMeterX(actual), FreeImage_GetDotsPerMeterX(expected)) << name;
  EXPECT_EQ(FreeImage_GetDotsPerMeterY(actual), FreeImage_GetDotsPerMeterY(expected)) << name;
  EXPECT_EQ(FreeImage_GetThumbnail(actual) != nullptr, FreeImage_GetThumbnail(expected) != nullptr) << name;
}

BitmapPtr LoadThroughPlugin(const std::string& path) {
  return AdoptBitmap(FreeImage_Load(FIF_RAW, path.c_str(), RAW_PREVIEW));
}

// Every EXIF orientation (0 writes none): the preview must come out turned as FreeImage
// turns it, at a size whose odd sides expose any row or column slip.
TEST(PreviewDecoding, MatchesTheRawPluginForEveryOrientation) {
  TempFolder folder;
  for (int orientation = 0; orientation <= 8; ++orientation) {
    const DngOptions options{
        .width = 98, .height = 62, .preview = true, .orientation = orientation, .exif = true, .noise = 6};
    const std::string path = folder / ("o" + std::to_string(orientation) + ".dng");
    ASSERT_TRUE(WriteTestDng(path, options));
    BitmapPtr direct = DecodeJpegPreview(path);
    BitmapPtr plugin = LoadThroughPlugin(path);
    ExpectSameBitmap(direct.get(), plugin.get(), "orientation " + std::to_string(orientation));
  }
}

TEST(PreviewDecoding, MatchesTheRawPluginOnCameraFiles) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples in ../shared/samples/raw";
  int decoded = 0;
  for (const char* name : {"RAW_CANON_D30_SRGB.CRW", "RAW_KODAK_DC50.KDC", "dng_with_exif_with_xmp.dng",
                           "RAW_KODAK_C330_FORMAT_NONE_YRGB.raw"}) {
    const std::string path = samples + "/" + name;
    BitmapPtr direct = DecodeJpegPreview(path);
    // A file this decoder does not take goes to the plug-in unchanged.
    if (!direct) continue;
    ++decoded;
    ExpectSameBitmap(direct.get(), LoadThroughPlugin(path).get(), name);
  }
  EXPECT_GT(decoded, 0);
}

// Each of these is left to the RAW plug-in, which converts or refuses it.
TEST(PreviewDecoding, LeavesWhatItDoesNotTakeToThePlugin) {
  TempFolder folder;
  ASSERT_TRUE(WriteTestDng(folder / "mosaic.dng", DngOptions{}));
  WriteText(folder / "text.dng", "not a camera file\n");
  WriteBytes(folder / "jpeg.dng", SmallJpeg(32, 24));

  DngOptions previewed;
  previewed.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", previewed));
  const std::vector<uint8_t> plain = ReadBytes(folder / "plain.dng");
  std::vector<uint8_t> claims = plain;
  ASSERT_TRUE(SetJpegFrameSize(claims, 30000, 30000));
  WriteBytes(folder / "claims.dng", claims);
  std::vector<uint8_t> huge = plain;
  ASSERT_TRUE(SetTiffImageSize(huge, 30000, 25000));
  WriteBytes(folder / "huge.dng", huge);

  const struct {
    const char* name;
    const char* why;
  } kCases[] = {
      {"mosaic.dng", "no preview"},
      {"text.dng", "not a camera file"},
      {"jpeg.dng", "a plain JPEG"},
      {"claims.dng", "a preview stating 30000 x 30000 pixels"},
      {"huge.dng", "a camera size beyond the limits"},
      {"missing.dng", "no file"},
  };
  for (const auto& c : kCases) EXPECT_FALSE(DecodeJpegPreview(folder / c.name)) << c.why;
}

// A file cut short after its preview decodes it as FreeImage does; a preview cut short
// itself is not taken (the camera's image is decoded instead).
TEST(PreviewDecoding, TruncatedPreviewMatchesThePluginOrIsLeftToIt) {
  TempFolder folder;
  DngOptions options;
  options.width = 160;
  options.height = 120;
  options.preview = true;
  options.noise = 8;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  const std::vector<uint8_t> plain = ReadBytes(folder / "plain.dng");
  for (size_t keep : {plain.size() - 16, plain.size() * 3 / 4, plain.size() / 2}) {
    const std::string path = folder / ("cut" + std::to_string(keep) + ".dng");
    WriteBytes(path, Truncated(plain, keep));
    BitmapPtr direct = DecodeJpegPreview(path);
    if (direct) ExpectSameBitmap(direct.get(), LoadThroughPlugin(path).get(), path);
  }
}

// ---- whole images through LibRaw -------------------------------------------------------

struct FullLoad {
  int pluginFlags;
  int bitsPerSample;
  bool halfSize;
};

const FullLoad kFullLoads[] = {
    {RAW_DISPLAY, 8, false},
    {RAW_DEFAULT, 16, false},
    {RAW_HALFSIZE, 16, true},
};

BitmapPtr DecodeFullDirectly(const std::string& path, const FullLoad& load) {
  return DecodeFullImage(OpenRawDevelopment(path, load.halfSize), load.bitsPerSample, true);
}

std::string LoadName(const FullLoad& load) {
  return std::to_string(load.bitsPerSample) + " bits" + (load.halfSize ? ", half size" : "");
}

// Every depth and every orientation LibRaw turns the image by, at odd sides whose rows carry
// padding; half of the files have a preview, whose metadata the plug-in copies.
TEST(FullDecoding, MatchesTheRawPluginForEveryDepthAndOrientation) {
  TempFolder folder;
  for (int orientation = 0; orientation <= 8; ++orientation) {
    const DngOptions options{.width = 37,
                             .height = 23,
                             .preview = orientation % 2 == 0,
                             .orientation = orientation,
                             .exif = true,
                             .noise = 6};
    const std::string path = folder / ("o" + std::to_string(orientation) + ".dng");
    ASSERT_TRUE(WriteTestDng(path, options));
    for (const FullLoad& load : kFullLoads) {
      BitmapPtr plugin = AdoptBitmap(FreeImage_Load(FIF_RAW, path.c_str(), load.pluginFlags));
      ExpectSameBitmap(DecodeFullDirectly(path, load).get(), plugin.get(),
                       "orientation " + std::to_string(orientation) + ", " + LoadName(load));
    }
  }
}

// The plug-in's preview load of a file without any preview is a whole 24-bit decode without
// preview metadata; a file with a preview is left to it.
TEST(FullDecoding, StandsInForThePreviewLoadOnlyWithoutAnyPreview) {
  TempFolder folder;
  DngOptions options;
  options.exif = true;
  ASSERT_TRUE(WriteTestDng(folder / "mosaic.dng", options));
  options.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "preview.dng", options));

  RawDevelopmentPtr mosaic = OpenRawDevelopment(folder / "mosaic.dng", false);
  ASSERT_TRUE(mosaic);
  EXPECT_FALSE(HasRawThumbnail(*mosaic));
  BitmapPtr plugin = AdoptBitmap(FreeImage_Load(FIF_RAW, (folder / "mosaic.dng").c_str(), RAW_PREVIEW));
  ExpectSameBitmap(DecodeFullImage(std::move(mosaic), 8, false).get(), plugin.get(), "no preview");

  RawDevelopmentPtr previewed = OpenRawDevelopment(folder / "preview.dng", false);
  ASSERT_TRUE(previewed);
  EXPECT_TRUE(HasRawThumbnail(*previewed));
}

TEST(FullDecoding, MatchesTheRawPluginOnCameraFiles) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples in ../shared/samples/raw";
  for (const char* name : {"RAW_CANON_D30_SRGB.CRW", "RAW_KODAK_DC50.KDC", "dng_with_exif_with_xmp.dng",
                           "RAW_KODAK_C330_FORMAT_NONE_YRGB.raw"})
    for (const FullLoad& load : kFullLoads) {
      const std::string path = samples + "/" + name;
      BitmapPtr plugin = AdoptBitmap(FreeImage_Load(FIF_RAW, path.c_str(), load.pluginFlags));
      ExpectSameBitmap(DecodeFullDirectly(path, load).get(), plugin.get(), std::string(name) + ", " + LoadName(load));
    }
}

// What the plug-in cannot decode, the direct decode does not either; what it decodes from a
// damaged file, the direct decode matches.
TEST(FullDecoding, FailsWhereThePluginFailsOnDamagedFiles) {
  TempFolder folder;
  DngOptions options;
  options.width = 64;
  options.height = 48;
  ASSERT_TRUE(WriteTestDng(folder / "plain.dng", options));
  WriteText(folder / "text.dng", "not a camera file\n");
  const std::vector<uint8_t> plain = ReadBytes(folder / "plain.dng");
  WriteBytes(folder / "cut.dng", Truncated(plain, plain.size() / 2));
  WriteBytes(folder / "headonly.dng", Truncated(plain, 200));
  for (const char* name : {"text.dng", "cut.dng", "headonly.dng", "missing.dng"}) {
    const std::string path = folder / name;
    BitmapPtr plugin = AdoptBitmap(FreeImage_Load(FIF_RAW, path.c_str(), RAW_DISPLAY));
    BitmapPtr direct = DecodeFullDirectly(path, kFullLoads[0]);
    if (!plugin)
      EXPECT_FALSE(direct) << name;
    else
      ExpectSameBitmap(direct.get(), plugin.get(), name);
  }
  // A preview pointing past the end made LibRaw free the pixels the direct decode wraps.
  const std::string beyond = folder / "beyond.dng";
  ASSERT_TRUE(WriteTestDng(beyond, {.width = 64, .height = 48, .preview = true, .previewLengthShare = 1e5}));
  for (const FullLoad& load : kFullLoads)
    ExpectSameBitmap(DecodeFullDirectly(beyond, load).get(),
                     AdoptBitmap(FreeImage_Load(FIF_RAW, beyond.c_str(), load.pluginFlags)).get(), LoadName(load));
}

// LibRaw opens the generated CR3 but reports its raw track (no CRX code) as corrupt, and
// then hands over the buffer it allocated as though decoded; the plug-in would take that.
TEST(FullDecoding, RefusesRawDataTheDecoderReportsAsCorrupt) {
  TempFolder folder;
  const std::string path = folder / "IMG_0001.CR3";
  ASSERT_TRUE(WriteTestCr3(path, Cr3Options{}));
  ASSERT_TRUE(OpenRawDevelopment(path, false));
  for (const FullLoad& load : kFullLoads) EXPECT_FALSE(DecodeFullDirectly(path, load)) << LoadName(load);
}

}  // namespace
