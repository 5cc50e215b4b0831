#include "pipeline/Pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>

#include "formats/FormatTables.h"
#include "pipeline/Loading.h"
#include "pipeline/Saving.h"
#include "pipeline/Streaming.h"
#include "platform/Paths.h"
#include "settings/ConversionSettings.h"
#include "support/DamagedFiles.h"
#include "support/DngWriter.h"
#include "support/ProgramState.h"
#include "support/RunProgram.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

// Tolerances: sizes and depths are exact; colours of the saved JPEG are checked only as
// "which channel dominates", since the preview and the JPEG encoder both round.

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    request.outputFolder = folder.path() + "/";
    request.outputExtension = "jpg";
  }
  // Prepares the save settings as the driver does and runs the pipeline.
  bool Convert() {
    request.save = PrepareSaveSettings(request.outputExtension, settings);
    result = ProcessImage(request);
    return result.has_value();
  }
  // Writes the DNG and converts it.
  bool Convert(const DngOptions& dng) {
    request.currentFile = folder / "photo.dng";
    return WriteTestDng(request.currentFile, dng) && Convert();
  }
  BitmapPtr Output() const { return AdoptBitmap(FreeImage_Load(FIF_JPEG, result->outputFile.c_str(), 0)); }
  TempFolder folder;
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  ImageRequest request{settings};
  std::optional<ImageResult> result;
};

DngOptions WithPreview() {
  DngOptions dng;
  dng.preview = true;
  return dng;
}

std::string ExifText(FIBITMAP* bitmap, const char* key, FREE_IMAGE_MDMODEL model = FIMD_EXIF_MAIN) {
  FITAG* tag = nullptr;
  if (!FreeImage_GetMetadata(model, bitmap, key, &tag) || !tag) return "(absent)";
  return FreeImage_TagToString(model, tag);
}

TEST_F(PipelineTest, DefaultsConvertTheDngToA24BitJpeg) {
  ASSERT_TRUE(Convert(WithPreview()));
  EXPECT_EQ(result->sourceBpp, 24);
  EXPECT_EQ(result->targetBpp, 24);
  EXPECT_EQ(result->outputWidth, 96);
  EXPECT_EQ(result->outputHeight, 64);
  EXPECT_EQ(result->frameNumber, 1);
  EXPECT_EQ(result->outputFile, folder / "photo.jpg");
  BitmapPtr output = Output();
  ASSERT_TRUE(output);
  EXPECT_EQ(FreeImage_GetBPP(output.get()), 24u);
  EXPECT_EQ(CompareWithPattern(output.get(), TestPattern::kQuadrants, 8, 6), "");
}

// The result crosses the child-process boundary as text: a path may hold line breaks, and
// a record cut short or with a damaged number is refused rather than read as zeros.
TEST(ImageResultTest, EncodingRoundTripsAndRefusesDamagedRecords) {
  const ImageResult sent{48, 24, 641, 479, 1, "/out/two\nlines.jpg", "first note\n7\nthird\n"};
  const std::optional<ImageResult> received = DecodeImageResult(EncodeImageResult(sent));
  ASSERT_TRUE(received);
  EXPECT_EQ(EncodeImageResult(*received), EncodeImageResult(sent));
  EXPECT_EQ(received->outputFile, sent.outputFile);
  EXPECT_EQ(received->notes, sent.notes);
  EXPECT_FALSE(DecodeImageResult("48\n24\n641\n"));
  EXPECT_FALSE(DecodeImageResult("48\n24\n64x\n479\n1\n0\n/out/a.jpg"));
  EXPECT_FALSE(DecodeImageResult("48\n24\n641\n479\n1\n99\nshort"));
}

TEST_F(PipelineTest, Deep48BitLoadIsToneMappedAndSavedAt24Bits) {
  settings.rawLoadAs = kLoadAs48;
  settings.rawToneMapping = kToneMapNone;  // the 48 bits reach the depth conversion
  ASSERT_TRUE(Convert(DngOptions{}));
  EXPECT_EQ(result->sourceBpp, 48);
  EXPECT_EQ(result->targetBpp, 24);
  BitmapPtr output = Output();
  ASSERT_TRUE(output);
  EXPECT_EQ(FreeImage_GetBPP(output.get()), 24u);
}

TEST_F(PipelineTest, GreyscaleOfA24BitSourceStillSaves24Bits) {
  settings.greyscale = 1;
  ASSERT_TRUE(Convert(WithPreview()));
  EXPECT_EQ(result->targetBpp, 24);
  BitmapPtr output = Output();
  ASSERT_TRUE(output);
  EXPECT_EQ(FreeImage_GetBPP(output.get()), 24u);
  const Rgb8 pixel = PixelAt(output.get(), 20, 15);
  EXPECT_NEAR(pixel.red, pixel.green, 2);
  EXPECT_NEAR(pixel.green, pixel.blue, 2);
}

// Without a rotation, a quarter of the preview is decoded smaller: the percentages still
// apply to its full size.
TEST_F(PipelineTest, SizeAfterRotationAndResizingReachesTheJob) {
  const struct {
    int rotation;
    int percent;
    int width, height;
  } cases[] = {{90, 50, 32, 48}, {0, 25, 24, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE("rotation " + std::to_string(c.rotation));
    settings.doRotation = c.rotation != 0;
    settings.rotation = c.rotation;
    settings.doResize = 1;
    settings.width = settings.height = c.percent;
    settings.widthUnit = settings.heightUnit = kUnitPercent;
    ASSERT_TRUE(Convert(WithPreview()));
    EXPECT_EQ(result->outputWidth, c.width);
    EXPECT_EQ(result->outputHeight, c.height);
    BitmapPtr output = Output();
    ASSERT_TRUE(output);
    EXPECT_EQ(FreeImage_GetWidth(output.get()), static_cast<unsigned>(c.width));
  }
}

TEST_F(PipelineTest, InputExifReachesTheJpegMarkedUpright) {
  DngOptions dng = WithPreview();
  dng.orientation = 6;
  dng.exif = true;
  ASSERT_TRUE(Convert(dng));
  BitmapPtr output = Output();
  ASSERT_TRUE(output);
  // The decoder already turned the pixels: the scene's top-left (red) quadrant is now top-right.
  EXPECT_EQ(FreeImage_GetWidth(output.get()), 64u);
  EXPECT_EQ(FreeImage_GetHeight(output.get()), 96u);
  const Rgb8 topRight = PixelAt(output.get(), 48, 20);
  EXPECT_GT(topRight.red, topRight.blue + 100);
  EXPECT_EQ(ExifText(output.get(), "Orientation"), "top, left side");
  EXPECT_EQ(ExifText(output.get(), "Make"), "Quillmark");
  EXPECT_EQ(ExifText(output.get(), "Model"), "Test Camera");
  EXPECT_EQ(ExifText(output.get(), "DateTimeOriginal", FIMD_EXIF_EXIF), "2021:06:15 10:20:30");
}

// The input's profile was lost whenever a stage made a new bitmap; it must not reach pixels
// it no longer describes either.
TEST_F(PipelineTest, TheSourceIccProfileReachesTheJpegWhereItFits) {
  const struct {
    const char* name;
    int inputBpp;
    const char* space;
    void (*set)(ConversionSettingsRecord&);
    bool kept;
  } cases[] = {
      {"resized", 24, "RGB ", [](auto& s) { s.doResize = 1, s.width = 30, s.height = 20; }, true},
      {"greyscale", 24, "RGB ", [](auto& s) { s.greyscale = 1; }, false},
      {"saved as 8-bit grey", 24, "RGB ", [](auto& s) { s.jpgBpp = 8; }, false},
      {"grey source, turned", 8, "GRAY", [](auto& s) { s.doRotation = 1, s.rotation = 90; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings = DefaultConversionSettings(true);
    c.set(settings);
    std::vector<uint8_t> profile(132, 0);  // a header naming the colour space, and no tags
    std::copy_n(c.space, 4, profile.begin() + 16);
    BitmapPtr input = MakeTestBitmap(60, 40, c.inputBpp, TestPattern::kGradient);
    ASSERT_TRUE(FreeImage_CreateICCProfile(input.get(), profile.data(), 132));
    request.currentFile = folder / "photo.cr2";  // a JPEG named like a camera file
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, input.get(), request.currentFile.c_str(), 95));
    ASSERT_TRUE(Convert());
    BitmapPtr output = Output();
    ASSERT_TRUE(output);
    EXPECT_EQ(FreeImage_GetICCProfile(output.get())->size, c.kept ? 132 : 0);
  }
}

TEST_F(PipelineTest, SimpleJpegCarriesNoMetadata) {
  settings.jpgSaveAs = kJpegSimple;
  DngOptions dng = WithPreview();
  dng.exif = true;
  ASSERT_TRUE(Convert(dng));
  BitmapPtr output = Output();
  ASSERT_TRUE(output);
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, output.get()), 0u);
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_EXIF_RAW, output.get()), 0u);
}

// The default conversion streams the preview's rows into the encoder: the file it writes is
// the whole-image path's, byte for byte, for every kind of JPEG the writer makes. A turn by
// 0 degrees keeps a conversion on the whole-image path without changing what it writes.
std::vector<uint8_t> WholeImageOutput(ConversionSettingsRecord& settings, const ImageRequest& request) {
  settings.doRotation = 1;
  settings.rotation = 0;
  const std::optional<ImageResult> result = ProcessImage(request);
  settings.doRotation = 0;
  return result ? ReadBytes(result->outputFile) : std::vector<uint8_t>{};
}

TEST_F(PipelineTest, StreamedConversionWritesTheWholeImagePathsBytes) {
  const struct { int32_t quality, chroma, saveAs; } kinds[] = {{95, 0, 0}, {80, 2, 0}, {90, 1, 2}, {75, 0, 1}};
  DngOptions dng = WithPreview();
  dng.width = 98;
  dng.height = 62;
  dng.exif = true;
  dng.noise = 6;
  ASSERT_TRUE(Convert(dng));
  for (const auto& kind : kinds) {
    SCOPED_TRACE("quality " + std::to_string(kind.quality) + ", save as " + std::to_string(kind.saveAs));
    settings.jpgQuality = kind.quality;
    settings.jpgChroma = kind.chroma;
    settings.jpgSaveAs = kind.saveAs;
    request.save = PrepareSaveSettings(request.outputExtension, settings);
    ImageResult streamedResult;
    ASSERT_EQ(ConvertByStreaming(request, streamedResult), std::optional<bool>(true));
    const std::vector<uint8_t> streamed = ReadBytes(streamedResult.outputFile);
    EXPECT_EQ(streamed, WholeImageOutput(settings, request));
  }
}

// A preview whose decoder fails only after its last row (a second frame header where its
// end should be) is left to the whole-image path, which converts or refuses it; the streamed
// attempt leaves no file behind.
TEST_F(PipelineTest, PreviewFailingAtItsEndIsLeftToTheWholeImagePath) {
  request.currentFile = folder / "photo.dng";
  ASSERT_TRUE(WriteTestDng(request.currentFile, WithPreview()));
  std::vector<uint8_t> bytes = ReadBytes(request.currentFile);
  const uint8_t scan[] = {0xFF, 0xDA}, end[] = {0xFF, 0xD9};
  auto marker = std::search(std::search(bytes.begin(), bytes.end(), scan, scan + 2), bytes.end(), end, end + 2);
  ASSERT_NE(marker, bytes.end());
  marker[1] = 0xC0;
  WriteBytes(request.currentFile, bytes);
  request.save = PrepareSaveSettings(request.outputExtension, settings);
  ImageResult streamedResult;
  EXPECT_EQ(ConvertByStreaming(request, streamedResult), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder / "photo.jpg"));
  ASSERT_TRUE(Convert());
  const std::vector<uint8_t> converted = ReadBytes(result->outputFile);
  EXPECT_EQ(converted, WholeImageOutput(settings, request));
}

// A preview cut short (libjpeg fills the rest with grey) or pointing past the end of the file
// gives way, streamed, whole or shrunk, to the camera's image, which is noted only when taken.
TEST_F(PipelineTest, DamagedPreviewGivesWayToTheCamerasImage) {
  void (*const paths[])(ConversionSettingsRecord&) = {[](auto&) {}, [](auto& s) { s.doRotation = 1; },
                                                      [](auto& s) { s.doResize = 1, s.width = 60, s.height = 45; }};
  request.currentFile = folder / "photo.dng";
  for (double share : {0.8, 1e5})
    for (size_t path = 0; path < std::size(paths); ++path) {
      SCOPED_TRACE("length share " + std::to_string(share) + ", path " + std::to_string(path));
      ASSERT_TRUE(
          WriteTestDng(request.currentFile,
                       {.width = 160, .height = 120, .preview = true, .previewLengthShare = share, .noise = 8}));
      settings = DefaultConversionSettings(true);
      paths[path](settings);
      ASSERT_TRUE(Convert());
      EXPECT_EQ(result->notes, "[WARNING] The embedded preview is damaged; the RAW data was decoded instead\n");
    }
}

TEST_F(PipelineTest, MissingInputFailsWithoutOutput) {
  request.currentFile = folder / "missing.dng";
  EXPECT_FALSE(Convert());
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(PipelineTest, HostileNumbersEndInAResultNotACrash) {
  const struct {
    const char* name;
    std::function<void(ConversionSettingsRecord&)> set;
    bool converts;
  } cases[] = {
      {"width of two billion pixels", [](auto& s) { s.doResize = 1, s.width = INT_MAX, s.height = 10; }, false},
      {"two billion percent",
       [](auto& s) { s.doResize = 1, s.width = s.height = INT_MAX, s.widthUnit = s.heightUnit = kUnitPercent; }, false},
      {"negative sizes", [](auto& s) { s.doResize = 1, s.width = s.height = INT_MIN; }, true},
      {"huge rotation", [](auto& s) { s.doRotation = 1, s.rotation = INT_MAX; }, true},
      {"negative rotation", [](auto& s) { s.doRotation = 1, s.rotation = INT_MIN; }, true},
      // Headerless attempts that fail hand over to the RAW decoder.
      {"huge headerless size", [](auto& s) { s.rawLoadAs = kLoadAs8BitPixels, s.rawWidth = s.rawHeight = INT_MAX; },
       true},
      {"negative header", [](auto& s) { s.rawLoadAs = kLoadAs16BitPixels, s.rawHeaderSize = INT_MIN; }, true},
      {"threshold beyond a byte", [](auto& s) { s.doThreshold = 1, s.threshold = INT_MIN; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings = DefaultConversionSettings(true);
    c.set(settings);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Convert(WithPreview()), c.converts);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    std::filesystem::remove(folder / "photo.jpg");
  }
}

TEST_F(PipelineTest, EveryCameraSampleConvertsWithDefaults) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples at ../shared/samples/raw";
  int converted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(samples)) {
    const std::string path = entry.path().string();
    if (!IsAcceptedInputExtension(FileExtension(path))) continue;
    SCOPED_TRACE(path);
    settings = DefaultConversionSettings(true);
    request.currentFile = path;
    ASSERT_TRUE(Convert());
    BitmapPtr output = Output();
    ASSERT_TRUE(output);
    EXPECT_GE(FreeImage_GetWidth(output.get()), 64u);
    EXPECT_EQ(result->outputWidth, static_cast<int>(FreeImage_GetWidth(output.get())));
    ++converted;
  }
  EXPECT_GT(converted, 0);
}

}  // namespace
