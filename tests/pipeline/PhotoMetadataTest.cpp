// The photograph's own metadata reaches the JPEG on every route through the pipeline, made
// true of the saved file.
#include "pipeline/PhotoMetadata.h"

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>
#include <filesystem>
#include <functional>

#include "pipeline/Pipeline.h"
#include "pipeline/Saving.h"
#include "settings/ConversionSettings.h"
#include "support/DngWriter.h"
#include "support/PhotoTags.h"
#include "support/ProgramState.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

// What a photographer's camera and tools put into the file beyond what the DNG writer
// makes: position, lens, authorship, a rating and keywords, and XMP that still describes the
// camera file (its orientation, its format, a thumbnail of its own).
bool AddPhotographersMetadata(const std::string& path) {
  try {
    const auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"].setValue("48/1 51/1 2400/100");
    exif["Exif.Photo.LensModel"] = "Quillmark 35mm F1.4";
    exif["Exif.Image.Artist"] = "Ada Photographer";
    exif["Exif.Image.Copyright"] = "(c) 2026 Ada Photographer";
    Exiv2::XmpData& xmp = image->xmpData();
    xmp["Xmp.xmp.Rating"] = "4";
    xmp["Xmp.tiff.Orientation"] = "6";
    xmp["Xmp.dc.format"] = "image/x-adobe-dng";
    xmp["Xmp.tiff.BitsPerSample"] = "16";
    Exiv2::IptcData& iptc = image->iptcData();
    iptc["Iptc.Application2.Keywords"] = "harbour";
    iptc["Iptc.Application2.Caption"] = "Boats at dawn";
    image->writeMetadata();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<ImageResult> ConvertToJpeg(const std::string& input, const TempFolder& folder,
                                         const ConversionSettingsRecord& settings) {
  ImageRequest request{settings};
  request.currentFile = input;
  request.outputFolder = folder.path() + "/";
  request.outputExtension = "jpg";
  request.save = PrepareSaveSettings("jpg", settings);
  return ProcessImage(request);
}

struct Route {
  const char* name;
  std::function<void(ConversionSettingsRecord&)> set;
  int width, height;  // of the saved JPEG: the 96 x 64 scene turned upright
};

const Route kRoutes[] = {
    {"streamed preview", [](ConversionSettingsRecord&) {}, 64, 96},
    {"preview resized", [](ConversionSettingsRecord& s) { s.doResize = 1, s.width = 32, s.height = 48; }, 32, 48},
    {"full decode at 24 bits", [](ConversionSettingsRecord& s) { s.rawLoadAs = kLoadAs24; }, 64, 96},
    {"full decode at 48 bits", [](ConversionSettingsRecord& s) { s.rawLoadAs = kLoadAs48; }, 64, 96},
    {"8-bit grey through FreeImage's writer", [](ConversionSettingsRecord& s) { s.jpgBpp = 8; }, 64, 96},
};

// Pillow, the reader of Python's photo tools, opens each file, decodes it and reads its EXIF,
// with every warning an error.
constexpr const char* kPillowCheck =
    "import sys\nfrom PIL import Image\nfor f in sys.argv[1:]:\n"
    "  with Image.open(f) as im:\n    im.load(); e = im.getexif(); e.get_ifd(0x8769); e.get_ifd(0x8825)\n";

TEST(PhotoMetadata, ReachesTheJpegOnEveryRouteMadeTrueOfIt) {
  TempFolder folder;
  std::vector<std::string> outputs = {"-W", "error", "-c", kPillowCheck};
  const std::string input = folder / "photo.dng";
  ASSERT_TRUE(WriteTestDng(input, {.preview = true, .orientation = 6, .exif = true}));
  ASSERT_TRUE(AddPhotographersMetadata(input));
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    ResetProgramState();
    ConversionSettingsRecord settings = DefaultConversionSettings(true);
    route.set(settings);
    const std::optional<ImageResult> result = ConvertToJpeg(input, folder, settings);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->notes, "");
    outputs.push_back(folder / (std::string(route.name) + ".jpg"));
    std::filesystem::rename(result->outputFile, outputs.back());
    const PhotoTags tags = ReadPhotoTags(outputs.back());
    ASSERT_TRUE(tags.read);
    EXPECT_TRUE(tags.warnings.empty()) << tags.warnings.front();
    EXPECT_EQ(tags["Exif.Image.Make"], "Quillmark");
    EXPECT_EQ(tags["Exif.Image.Model"], "Test Camera");  // not shortened, as the decoder's copy was
    EXPECT_EQ(tags["Exif.Photo.DateTimeOriginal"], "2021:06:15 10:20:30");
    EXPECT_EQ(tags["Exif.GPSInfo.GPSLatitude"], "48/1 51/1 2400/100");
    EXPECT_EQ(tags["Exif.Photo.LensModel"], "Quillmark 35mm F1.4");
    EXPECT_EQ(tags["Exif.Image.Artist"], "Ada Photographer");
    EXPECT_EQ(tags["Xmp.xmp.Rating"], "4");
    EXPECT_EQ(tags["Iptc.Application2.Keywords"], "harbour");
    EXPECT_EQ(tags["Iptc.Application2.Caption"], "Boats at dawn");
    // True of the new file: upright, its own size and format, nothing of the DNG's structure.
    EXPECT_EQ(tags["Exif.Image.Orientation"], "1");
    EXPECT_EQ(tags["Xmp.tiff.Orientation"], "1");
    EXPECT_EQ(tags["Xmp.dc.format"], "image/jpeg");
    EXPECT_EQ(tags["Exif.Photo.PixelXDimension"], std::to_string(route.width));
    EXPECT_EQ(tags["Exif.Photo.PixelYDimension"], std::to_string(route.height));
    for (const char* key :
         {"Exif.Image.DNGVersion", "Exif.Image.StripOffsets", "Exif.Image.NewSubfileType", "Exif.Image.CFAPattern",
          "Exif.Image.UniqueCameraModel", "Xmp.tiff.BitsPerSample", "Exif.Image.Software"})
      EXPECT_FALSE(tags.Has(key)) << key;
  }
  const ProgramRun pillow = RunProgram("/usr/bin/python3", outputs);
  EXPECT_EQ(pillow.exitStatus, 0) << pillow.stderrText;
}

// A SIMPLE JPEG carries no metadata at all, as FreeImage writes it; a file Exiv2 cannot read
// keeps the decoder's metadata, and the debug report says why.
TEST(PhotoMetadata, SimpleJpegsCarryNoneAndUnreadableFilesSaySo) {
  TempFolder folder;
  const std::string input = folder / "photo.dng";
  ASSERT_TRUE(WriteTestDng(input, {.preview = true, .exif = true}));
  ResetProgramState();
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  settings.jpgSaveAs = kJpegSimple;
  const std::optional<ImageResult> result = ConvertToJpeg(input, folder, settings);
  ASSERT_TRUE(result);
  EXPECT_TRUE(ReadPhotoTags(result->outputFile).values.empty());

  std::string failure;
  WriteBytes(folder / "noise.raw", std::vector<uint8_t>(200, 0x5A));
  EXPECT_FALSE(ReadPhotoMetadata(folder / "noise.raw", failure));
  EXPECT_EQ(failure, "The file contains data of an unknown image type");
}

}  // namespace
