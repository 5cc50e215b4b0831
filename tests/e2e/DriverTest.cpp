// End-to-end runs of the real program: exact console lines and exit status of the driver.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Cr3Writer.h"
#include "support/DngWriter.h"
#include "support/PhotoTags.h"
#include "support/RunProgram.h"
#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

using Lines = std::vector<std::string>;

constexpr size_t kBannerLines = 4;

// What follows the banner of a normal run.
Lines AfterBanner(const ProgramRun& run) {
  if (run.lines.size() < kBannerLines) return run.lines;
  return Lines(run.lines.begin() + kBannerLines, run.lines.end());
}

const Lines kSuccessLines = {"Preparing...",  "Importing...",        "Import complete, new files added: 1",
                             "Converting...", "Conversion complete", "Files converted: 1 of 1"};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input = folder / "photo.dng";
    ASSERT_TRUE(WriteTestDng(input, DngOptions{}));
    mkdir(output().c_str(), 0755);
  }
  std::string output() const { return folder / "out"; }
  ProgramRun Convert(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-i", input, "-o", output()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunPixquill(args);
  }
  // The run stops at the check with exactly this error line, after the banner and "Preparing...".
  void ExpectRefused(const std::vector<std::string>& args, const std::string& message) {
    ProgramRun run = RunPixquill(args);
    EXPECT_EQ(run.exitStatus, 2) << message;
    EXPECT_EQ(AfterBanner(run), (Lines{"Preparing...", "Error: " + message}));
  }
  TempFolder folder;
  std::string input;
};

TEST_F(DriverTest, NormalRunPrintsBannerAndSixStatusLines) {
  ProgramRun run = Convert();
  EXPECT_EQ(run.exitStatus, 0);
  ASSERT_EQ(run.lines.size(), kBannerLines + 6) << run.stdoutText;
  EXPECT_EQ(run.lines[0], "Quillmark 3.2");
  EXPECT_EQ(run.lines[3], " ");
  EXPECT_EQ(AfterBanner(run), kSuccessLines);
  EXPECT_GT(ReadBytes(output() + "/photo.jpg").size(), 100u);
}

TEST_F(DriverTest, QuietSuccessPrintsNothing) {
  ProgramRun run = Convert({"-q"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_GT(ReadBytes(output() + "/photo.jpg").size(), 100u);
  // -q before -i has the same effect.
  ProgramRun before = RunPixquill({"-q", "-i", input, "-o", output()});
  EXPECT_EQ(before.exitStatus, 0);
  EXPECT_EQ(before.stdoutText, "");
}

TEST_F(DriverTest, DebugReportWithDefaults) {
  ProgramRun run = Convert({"-d"});
  EXPECT_EQ(run.exitStatus, 0);
  Lines expected = {"Preparing...",
                    "Input: " + input,
                    "Output: " + output(),
                    "Conversion: jpg",
                    "RAW Load As: auto",
                    "RAW Header Size: 0",
                    "RAW Image Width: 0",
                    "RAW Image Height: 0",
                    "RAW Tone Mapping: al",
                    "JPG BPP: 0",
                    "JPG Quality: 95",
                    "JPG Chroma Subsampling: none",
                    "JPG Save As: standard",
                    "Flip Horizontal: 0",
                    "Flip Vertical: 0",
                    "Greyscale: 0",
                    "Frame: none",
                    "Watermark: none",
                    "Filename Mask: %filename%.%ext%",
                    "File Timestamp: current",
                    "Keep Subfolders: 1",
                    "Importing...",
                    "Import complete, new files added: 1",
                    "Converting...",
                    "Processing: " + input,
                    "File Format: TIFF (LE)",
                    "[OK] Saving As: " + output() + "/photo.jpg",
                    "Conversion complete",
                    "Files converted: 1 of 1"};
  EXPECT_EQ(AfterBanner(run), expected);
}

TEST_F(DriverTest, DebugReportListsEveryEnabledBlock) {
  std::string picture = folder / "mark.dng";
  ASSERT_TRUE(WriteTestDng(picture, DngOptions{}));
  ProgramRun run = Convert({"-d", "--rotation=90", "--width=50", "--width-unit=percent", "--height=40", "--gamma=2,2",
                            "--threshold=300", "--dither=bayer8", "--fr-solid-left=3", "--wm-image=" + picture,
                            "--file-timestamp=custom", "--file-timestamp-custom=0",
                            "--filename-mask=%filename%-x.%ext%", "--no-subfolders"});
  Lines lines = AfterBanner(run);
  auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  for (const char* line : {"Image Rotation Type: simple",
                           "Image Rotation: 90",
                           "Image Rotation Back Color: 000000",
                           "Width: 50 percent",
                           "Height: 40 pixels",
                           "Keep Aspect Ratio: 0",
                           "Image Resize Type: allimages",
                           "Image Resize Algorithm: bicubic",
                           "Brightness: 0",
                           "Contrast: 0",
                           "Gamma: 2.00",
                           "Invert: 0",
                           "Image Threshold: 300",
                           "Image Dithering Algorithm: bayer8",
                           "Frame: solid",
                           "Frame left: 3",
                           "Frame opacity: 255",
                           "Watermark: image",
                           "Watermark greyscale: 0",
                           "Watermark position: bottomright",
                           "Watermark offset (x/y): 10/10",
                           "Watermark size/mode: fixed",
                           "Filename Mask: %filename%-x.%ext%",
                           "File Timestamp: custom",
                           "Custom Timestamp: 0",
                           "Keep Subfolders: 0"})
    EXPECT_TRUE(has(line)) << line << "\n" << run.stdoutText;
}

// A headerless dump holds no metadata that Exiv2 could read: the debug report says so in
// one line, and the file still converts.
TEST_F(DriverTest, DebugSaysWhenTheFilesOwnMetadataIsNotCopied) {
  input = folder / "dump.raw";
  WriteBytes(input, std::vector<uint8_t>(400, 0x77));
  ProgramRun run = Convert({"-d", "--raw-load-as=8"});
  EXPECT_EQ(run.exitStatus, 0);
  const Lines lines = AfterBanner(run);
  const auto saving = std::find(lines.begin(), lines.end(), "[OK] Saving As: " + output() + "/dump.jpg");
  ASSERT_NE(saving, lines.end()) << run.stdoutText;
  EXPECT_EQ(*(saving - 1),
            "[WARNING] The file's own metadata was not copied (The file contains data of an unknown image type); "
            "the decoder's EXIF is kept");
  EXPECT_EQ(*(saving - 2), "File Format: [ERROR] UNRECOGNIZED");
}

TEST_F(DriverTest, InputChecks) {
  std::string empty = folder / "empty.dng";
  WriteBytes(empty, {});
  std::string noExtension = folder / "IMG_0001";
  WriteBytes(noExtension, {1, 2, 3});
  mkdir((folder / "dir.dng").c_str(), 0755);
  for (const std::string& bad : {folder / "missing.dng", folder / "dir.dng", empty, noExtension})
    ExpectRefused({"-i", bad, "-o", output()}, "Invalid input file");
}

TEST_F(DriverTest, OutputFolderChecks) {
  ExpectRefused({"-i", input, "-o", "../out"}, "Incorrect output folder");
  ExpectRefused({"-i", input, "-o", folder / "missing"}, "Invalid output folder");
  ExpectRefused({"-i", input, "-o", input}, "Invalid output folder");
}

TEST_F(DriverTest, OutputDefaultsToTheInputFolder) {
  ProgramRun run = RunPixquill({"-i", input});
  EXPECT_EQ(run.exitStatus, 0) << run.stdoutText;
  EXPECT_GT(ReadBytes(folder / "photo.jpg").size(), 100u);
}

// Runs start in `folder` (photo.dng, out/, shots/photo.dng) or in shots/: relative inputs
// and output folders are taken from there, never from the program's own folder.
TEST_F(DriverTest, RelativePathsMeanTheCurrentDirectory) {
  const std::string shots = folder / "shots";
  mkdir(shots.c_str(), 0755);
  ASSERT_TRUE(WriteTestDng(shots + "/photo.dng", DngOptions{}));
  struct Case {
    std::string workingFolder;
    std::vector<std::string> args;
    std::string jpeg;
  };
  const Case cases[] = {
      {folder.path(), {"-i", "photo.dng"}, folder / "photo.jpg"},
      {folder.path(), {"-i", "shots/photo.dng"}, shots + "/photo.jpg"},
      {folder.path(), {"-i", "./shots/photo.dng"}, shots + "/photo.jpg"},
      {shots, {"-i", "../photo.dng"}, folder / "photo.jpg"},  // the input's own folder
      {folder.path(), {"-i", "photo.dng", "-o", "out"}, output() + "/photo.jpg"},
      {folder.path(), {"-i", "photo.dng", "-o", "./out/"}, output() + "/photo.jpg"},
      {folder.path(), {"-i", "photo.dng", "-o", "."}, folder / "photo.jpg"},
      {folder.path(), {"-i", "photo.dng", "-o", "out\\"}, output() + "/photo.jpg"},
      {shots, {"-i", "photo.dng", "-o", output() + "\\"}, output() + "/photo.jpg"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("-q");
    ProgramRun run = RunPixquillIn(c.workingFolder, args);
    EXPECT_EQ(run.exitStatus, 0) << ::testing::PrintToString(args) << run.stdoutText;
    EXPECT_GT(ReadBytes(c.jpeg).size(), 100u) << c.jpeg;
    std::filesystem::remove(c.jpeg);
  }
  EXPECT_EQ(RunPixquillIn(shots, {"-q", "-i", "photo.dng", "-o", "../out"}).lines,
            (Lines{"Error: Incorrect output folder"}));
  EXPECT_EQ(RunPixquillIn(folder.path(), {"-q", "-i", "photo.dng", "-o", "jpeg"}).lines,
            (Lines{"Error: Invalid output folder"}));
}

TEST_F(DriverTest, DebugShowsTheOutputFolderAsGiven) {
  mkdir((folder / "shots").c_str(), 0755);
  ASSERT_TRUE(WriteTestDng(folder / "shots/photo.dng", DngOptions{}));
  for (const auto& [given, shown] : {std::pair<std::string, std::string>{"", "shots/"}, {"./out", "./out"}}) {
    std::vector<std::string> args = {"-d", "-i", "shots/photo.dng"};
    if (!given.empty()) args.insert(args.end(), {"-o", given});
    Lines lines = AfterBanner(RunPixquillIn(folder.path(), args));
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[2], "Output: " + shown);
    const std::string saved = (given.empty() ? folder / "shots" : output()) + "/photo.jpg";
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[OK] Saving As: " + saved), lines.end()) << saved;
  }
}

TEST_F(DriverTest, ConversionTypeAndSaveChecks) {
  ExpectRefused({"-i", input, "-o", output(), "-c", "JPG"}, "Invalid conversion type");
  ExpectRefused({"-i", input, "-o", output(), "-c", ".jpg"}, "Invalid conversion type");
  ExpectRefused({"-i", input, "-o", output(), "-c", "png"}, "Invalid conversion type");
  ExpectRefused({"-i", input, "-o", output(), "--jpg-bpp=16"}, "Invalid jpg-bpp value");
  ExpectRefused({"-i", input, "-o", output(), "--jpg-quality=0"}, "Invalid jpg-quality value");
  ExpectRefused({"-i", input, "-o", output(), "--jpg-quality=101"}, "Invalid jpg-quality value");
  ExpectRefused({"-i", input, "-o", output(), "--jpg-quality=abc"}, "Invalid jpg-quality value");
  for (const char* passes : {"--jpg-quality=1", "--jpg-quality=100", "--jpg-bpp=8", "--jpg-bpp=24"})
    EXPECT_EQ(Convert({"-q", passes}).exitStatus, 0) << passes;
}

TEST_F(DriverTest, TransformChecks) {
  ExpectRefused({"-i", input, "-o", output(), "--width=0", "--height=10"}, "Invalid width value");
  ExpectRefused({"-i", input, "-o", output(), "--width=800"}, "Invalid height value");
  ExpectRefused({"-i", input, "-o", output(), "--brightness=101"}, "Invalid brightness value");
  ExpectRefused({"-i", input, "-o", output(), "--contrast=-101"}, "Invalid contrast value");
  ExpectRefused({"-i", input, "-o", output(), "--gamma=10"}, "Invalid gamma value");
  ExpectRefused({"-i", input, "-o", output(), "--gamma=NaN"}, "Invalid gamma value");
  for (const char* passes : {"--brightness=-100", "--brightness=100", "--gamma=0.01", "--gamma=9.99"})
    EXPECT_EQ(Convert({"-q", passes}).exitStatus, 0) << passes;
  // Ranges are not tested when no adjustment option is set: the check belongs to the step.
  EXPECT_EQ(Convert({"-q", "--width=20", "--height=20", "--width-unit=pixels"}).exitStatus, 0);
}

TEST_F(DriverTest, WatermarkChecks) {
  ExpectRefused({"-i", input, "-o", output(), "--wm-text=x", "--wm-font=NoSuchFontAnywhere"}, "Invalid watermark font");
  ExpectRefused({"-i", input, "-o", output(), "--wm-image=" + folder / "none.png"}, "Invalid watermark image");
  mkdir((folder / "folder.png").c_str(), 0755);
  ExpectRefused({"-i", input, "-o", output(), "--wm-image=" + folder / "folder.png"}, "Invalid watermark image");
}

TEST_F(DriverTest, ChecksStopAtTheFirstFailureAndErrorsShowWhenQuiet) {
  ProgramRun run = RunPixquill({"-q", "-i", input, "-o", output(), "--jpg-quality=0", "--brightness=500"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.lines, (Lines{"Error: Invalid jpg-quality value"}));
}

TEST_F(DriverTest, AnInputThatIsNotAcceptedStopsTheConversion) {
  std::string jpeg = folder / "IMG_0001.jpg";
  WriteBytes(jpeg, {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
  ProgramRun run = RunPixquill({"-i", jpeg, "-o", output()});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(AfterBanner(run),
            (Lines{"Preparing...", "Importing...", "Import complete, new files added: 0", "Conversion stopped",
                   "No input file(s) found. Please, add valid file(s) and try again!"}));
  ProgramRun quiet = RunPixquill({"-q", "-i", jpeg, "-o", output()});
  EXPECT_EQ(quiet.lines,
            (Lines{"Conversion stopped", "No input file(s) found. Please, add valid file(s) and try again!"}));
}

// A Canon CR3 converts from its preview track, a portrait shot turned upright, with the
// camera's metadata from the CMT boxes.
TEST_F(DriverTest, ACanonCr3ConvertsFromItsPreview) {
  const std::string cr3 = folder / "IMG_0001.CR3", jpeg = output() + "/IMG_0001.jpg";
  ASSERT_TRUE(WriteTestCr3(cr3, Cr3Options{.width = 120, .height = 80}));
  ProgramRun run = RunPixquill({"-i", cr3, "-o", output()});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(AfterBanner(run), kSuccessLines);
  BitmapPtr saved = AdoptBitmap(FreeImage_Load(FIF_JPEG, jpeg.c_str(), 0));
  ASSERT_TRUE(saved);
  // Two JPEG encodings away from the scene: within 12 levels, one block away from the edges.
  EXPECT_EQ(CompareWithPattern(saved.get(), TestPattern::kQuadrants, 12, 8), "");

  ASSERT_TRUE(WriteTestCr3(cr3, Cr3Options{.width = 120, .height = 80, .orientation = 6}));
  ASSERT_EQ(RunPixquill({"-q", "-i", cr3, "-o", output()}).exitStatus, 0);
  saved = AdoptBitmap(FreeImage_Load(FIF_JPEG, jpeg.c_str(), 0));
  ASSERT_TRUE(saved);
  ASSERT_EQ(FreeImage_GetWidth(saved.get()), 80u);
  ASSERT_EQ(FreeImage_GetHeight(saved.get()), 120u);
  // A quarter turn clockwise: the scene's bottom-left (blue) is now top-left, its top-left (red) top-right.
  EXPECT_TRUE(Near(PixelAt(saved.get(), 10, 10), PatternColor(TestPattern::kQuadrants, 2, 2, 0, 1), 12));
  EXPECT_TRUE(Near(PixelAt(saved.get(), 70, 10), PatternColor(TestPattern::kQuadrants, 2, 2, 0, 0), 12));
  const PhotoTags tags = ReadPhotoTags(jpeg);
  EXPECT_EQ(tags["Exif.Image.Model"], "Canon EOS Quill");
  EXPECT_EQ(tags["Exif.Photo.DateTimeOriginal"], "2022:03:04 05:06:07");
  EXPECT_EQ(tags["Exif.Photo.LensModel"], "RF24-105mm F4 L IS USM");
  EXPECT_EQ(tags["Exif.GPSInfo.GPSLatitude"], "480000/10000 510000/10000 302400/10000");
  EXPECT_EQ(tags["Exif.Image.Orientation"], "1");
  EXPECT_EQ(tags["Exif.Photo.PixelXDimension"], "80");

  // Its raw track holds no CRX data that LibRaw could decode: a full decode fails outright.
  std::filesystem::remove(jpeg);
  run = RunPixquill({"-q", "-i", cr3, "-o", output(), "--raw-load-as=24"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_FALSE(std::filesystem::exists(jpeg));
}

TEST_F(DriverTest, AFailedPipelineIsReportedAndCountsAsStopped) {
  // The mask names a folder that does not exist below the output folder: the save fails.
  ProgramRun run = Convert({"-d", "--filename-mask=nowhere/%filename%.%ext%"});
  EXPECT_EQ(run.exitStatus, 1);
  Lines lines = AfterBanner(run);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()), (Lines{"Processing: " + input, "File Format: TIFF (LE)",
                                                        "[ERROR] Unable to convert the file!", "Conversion stopped"}));
  ProgramRun quiet = Convert({"-q", "--filename-mask=nowhere/%filename%.%ext%"});
  EXPECT_EQ(quiet.exitStatus, 1);
  EXPECT_EQ(quiet.lines, (Lines{"Conversion stopped"}));
}

TEST_F(DriverTest, AMaskMayReachASubfolderButNeverLeaveTheOutputFolder) {
  // A shared profile's mask must not replace a file beside the output folder.
  WriteText(folder / "notes.txt", "notes");
  WriteText(folder / "shared.ini", "[CLI]\n--filename-mask = ../notes.txt\n");
  ProgramRun run = Convert({"-d", "--profile=" + folder / "shared.ini"});
  EXPECT_EQ(run.exitStatus, 1);
  Lines lines = AfterBanner(run);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"[ERROR] Unable to convert the file!", "Conversion stopped"}));
  EXPECT_EQ(ReadBytes(folder / "notes.txt"), (std::vector<uint8_t>{'n', 'o', 't', 'e', 's'}));

  mkdir((output() + "/web").c_str(), 0755);
  EXPECT_EQ(Convert({"-q", "--filename-mask=web/%filename%.%ext%"}).exitStatus, 0);
  EXPECT_GT(ReadBytes(output() + "/web/photo.jpg").size(), 100u);
}

}  // namespace

namespace {

TEST_F(DriverTest, VersionAfterTheFirstArgumentIsIgnoredAndTheFileConverted) {
  ProgramRun run = Convert({"-v"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(AfterBanner(run), kSuccessLines);
}

TEST_F(DriverTest, PauseIsAnnouncedEvenWhenQuiet) {
  ProgramRun run = RunPixquill({"-q", "-p", "-i", input, "-o", output()}, "x");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.lines, (Lines{"Press any key to exit."}));
  ProgramRun closedInput = RunPixquill({"-p", "-i", input, "-o", output()});
  EXPECT_EQ(closedInput.exitStatus, 0) << "end of input ends the wait";
  EXPECT_EQ(closedInput.lines.back(), "Press any key to exit.");
}

TEST_F(DriverTest, ExistingOutputIsReplacedAndTheInputNeverIs) {
  WriteBytes(output() + "/photo.jpg", {1, 2, 3});
  EXPECT_EQ(Convert({"-q"}).exitStatus, 0);
  EXPECT_GT(ReadBytes(output() + "/photo.jpg").size(), 100u);
  // A mask that names the input file itself fails like a failed save; the input survives.
  std::vector<uint8_t> before = ReadBytes(input);
  ProgramRun run = RunPixquill({"-q", "-i", input, "-o", folder.path(), "--filename-mask=photo.dng"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.lines, (Lines{"Conversion stopped"}));
  EXPECT_EQ(ReadBytes(input), before);
}

}  // namespace
