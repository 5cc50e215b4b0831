// Every real camera file in the samples folder through the real program, in the default
// mode and with --raw-load-as=48, 48HS and 24: the JPEG decodes, has the size the mode
// promises, and carries the photograph's own metadata as the camera wrote it, made true of
// the JPEG (upright, its own size, no thumbnail of the camera file).
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/BitmapPtr.h"
#include "support/PhotoTags.h"
#include "support/RunOutcomes.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

struct Size {
  unsigned width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Size& s) { return out << s.width << "x" << s.height; }

enum Mode { kDefault, k48, k48HalfSize, k24 };

struct ModeRow {
  Mode mode;
  const char* label;
  const char* option;  // empty for the defaults
};

constexpr ModeRow kModes[] = {{kDefault, "default", ""},
                              {k48, "48", "--raw-load-as=48"},
                              {k48HalfSize, "48HS", "--raw-load-as=48HS"},
                              {k24, "24", "--raw-load-as=24"}};

void PrintTo(const ModeRow& row, std::ostream* out) { *out << row.label; }

// What each documented sample gives (SOURCES.md beside them): its embedded preview in the
// default mode (the KDC's is a 96 x 64 bitmap; the C330 file has none, so the whole image
// is decoded); half size has no effect on images that are not Bayer mosaics (the linear
// LG DNG, the YRGB C330 file). The tags are the camera's own (the C330 file has none).
struct KnownSample {
  Size sizes[4];  // by Mode
  std::map<std::string, std::string> tags;
};

const std::map<std::string, KnownSample> kKnownSamples = {
    {"RAW_CANON_D30_SRGB.CRW",
     {{{1440, 960}, {2176, 1448}, {1088, 724}, {2176, 1448}},
      {{"Exif.Image.Make", "Canon"},
       {"Exif.Image.Model", "Canon EOS D30"},
       {"Exif.Photo.DateTimeOriginal", "2002:11:24 15:11:22"},
       {"Exif.Canon.OwnerName", "Marc-Andre Keune"}}}},
    {"RAW_KODAK_DC50.KDC",
     {{{96, 64}, {768, 512}, {384, 256}, {768, 512}},
      {{"Exif.Image.Make", "Eastman Kodak Company"}, {"Exif.Image.DateTime", "1997:04:23 08:00:47"}}}},
    {"RAW_KODAK_C330_FORMAT_NONE_YRGB.raw", {{{1216, 912}, {1216, 912}, {1216, 912}, {1216, 912}}, {}}},
    {"dng_with_exif_with_xmp.dng",
     {{{256, 144}, {600, 337}, {600, 337}, {600, 337}},
      {{"Exif.Image.Make", "LGE"},
       {"Exif.Image.Model", "LG-H815"},
       {"Exif.Photo.DateTimeOriginal", "2015:11:12 16:46:18"},
       {"Exif.GPSInfo.GPSLatitude", "53/1 50/1 423/100"},
       {"Xmp.dc.format", "image/jpeg"},
       {"Xmp.crs.Version", "9.3.1"}}}},
};

std::vector<std::filesystem::path> SampleFiles(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

Size SizeOf(FIBITMAP* bitmap) { return {FreeImage_GetWidth(bitmap), FreeImage_GetHeight(bitmap)}; }

// What holds of every JPEG made from a camera file that has metadata: Exiv2 reads it without
// a warning, it is upright and of its own size, and nothing of the camera file's own image
// structure or thumbnail came along.
void ExpectPhotographMetadata(const PhotoTags& tags, Size size) {
  EXPECT_TRUE(tags.warnings.empty()) << tags.warnings.front();
  EXPECT_TRUE(!tags.Has("Exif.Image.Orientation") || tags["Exif.Image.Orientation"] == "1");
  EXPECT_TRUE(!tags.Has("Xmp.tiff.Orientation") || tags["Xmp.tiff.Orientation"] == "1");
  EXPECT_EQ(tags["Exif.Photo.PixelXDimension"], std::to_string(size.width));
  EXPECT_EQ(tags["Exif.Photo.PixelYDimension"], std::to_string(size.height));
  for (const char* key : {"Exif.Image.StripOffsets", "Exif.Image.NewSubfileType", "Exif.Image.ImageWidth",
                          "Exif.Image.DNGVersion", "Exif.Image.SubIFDs", "Exif.Image.XMLPacket"})
    EXPECT_FALSE(tags.Has(key)) << key;
  EXPECT_TRUE(tags.KeysStartingWith("Exif.Thumbnail.").empty());
  EXPECT_TRUE(tags.KeysStartingWith("Exif.SubImage").empty());
}

// A file not documented in SOURCES.md is held to the general promises: the full size of
// its header for 48 and 24, half of it or the full size (images that are not mosaics) for
// 48HS, and no more than the full size for the preview.
void ExpectGeneralSize(Mode mode, Size actual, Size full) {
  switch (mode) {
    case k48:
    case k24: EXPECT_EQ(actual, full); break;
    case k48HalfSize:
      EXPECT_TRUE(actual == (Size{full.width / 2, full.height / 2}) || actual == full) << actual << " of " << full;
      break;
    case kDefault:
      EXPECT_TRUE(actual.width <= full.width && actual.height <= full.height) << actual << " of " << full;
      break;
  }
}

class RealCameraFiles : public ::testing::TestWithParam<ModeRow> {};

TEST_P(RealCameraFiles, ConvertToTheSizeOfTheMode) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples in ../shared/samples/raw";
  const ModeRow& mode = GetParam();
  for (const std::filesystem::path& file : SampleFiles(samples)) {
    SCOPED_TRACE(file.filename().string() + " with " + mode.label);
    TempFolder folder;
    std::vector<std::string> args = {"-q", "-i", file, "-o", folder.path()};
    if (*mode.option) args.push_back(mode.option);
    const ProgramRun run = RunPixquill(args);
    ASSERT_EQ(ToString(OutcomeOf(run)), ToString(Outcome::kConverted)) << run.stdoutText << run.stderrText;

    const std::string output = folder / (file.stem().string() + ".jpg");
    BitmapPtr jpeg = AdoptBitmap(FreeImage_Load(FIF_JPEG, output.c_str(), 0));
    ASSERT_TRUE(jpeg) << output << " does not decode";
    BitmapPtr header = AdoptBitmap(FreeImage_Load(FIF_RAW, file.c_str(), FIF_LOAD_NOPIXELS));
    ASSERT_TRUE(header);

    auto known = kKnownSamples.find(file.filename());
    if (known != kKnownSamples.end()) {
      EXPECT_EQ(SizeOf(jpeg.get()), known->second.sizes[mode.mode]);
    } else {
      ExpectGeneralSize(mode.mode, SizeOf(jpeg.get()), SizeOf(header.get()));
    }
    const PhotoTags tags = ReadPhotoTags(output);
    if (tags.values.empty()) continue;
    ExpectPhotographMetadata(tags, SizeOf(jpeg.get()));
    if (known == kKnownSamples.end()) continue;
    for (const auto& [key, value] : known->second.tags) EXPECT_EQ(tags[key], value) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, RealCameraFiles, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<ModeRow>& mode) {
                           return std::string("LoadAs") + mode.param.label;
                         });

}  // namespace
