#include "convert/SettingsReport.h"

#include <gtest/gtest.h>

#include "convert/RequestChecks.h"
#include "formats/FormatTables.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"

namespace {

class SettingsReportTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  // Runs a report and returns what it printed.
  template <typename Report>
  std::string Printed(Report report) {
    ::testing::internal::CaptureStdout();
    report();
    return ::testing::internal::GetCapturedStdout();
  }
};

const char* const kOutputExtensions[] = {"bmp", "dds", "exr", "gif",  "hdr",  "ico",  "j2k", "jng",
                                         "jp2", "jpg", "jxr", "pbm",  "pcx",  "pfm",  "pgm", "png",
                                         "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};

TEST_F(SettingsReportTest, EveryOutputExtensionReportsItsDepthFirstAndChecksIt) {
  for (const char* extension : kOutputExtensions) {
    std::string upper = ToUpper(extension);
    std::string text = Printed([&] { EXPECT_EQ(CheckSaveOptions(extension, true), std::nullopt) << extension; });
    EXPECT_EQ(text.rfind(upper + " BPP: 0\n", 0), 0u) << text;
    EXPECT_EQ(Printed([&] { (void)CheckSaveOptions(extension, false); }), "") << extension;
  }
  ConversionSettings.bmpBpp = 2;
  EXPECT_EQ(CheckSaveOptions("bmp", false), "Invalid bmp-bpp value");
  ConversionSettings.psdBpp = 8;  // no table entry, so no depth but 0 is permitted
  EXPECT_EQ(CheckSaveOptions("psd", false), "Invalid psd-bpp value");
  ConversionSettings.tiffBpp = 96;
  EXPECT_EQ(CheckSaveOptions("tiff", false), std::nullopt);
}

TEST_F(SettingsReportTest, FormatBlocksPrintTheirKeywords) {
  ConversionSettings.pngCompression = kPngZlib6;  // ZLIB6 shares its code with PIZ
  ConversionSettings.pngInterlaced = 1;
  EXPECT_EQ(Printed([] { (void)CheckSaveOptions("png", true); }),
            "PNG BPP: 0\nPNG Compression: piz\nPNG Interlaced: 1\n");
  EXPECT_EQ(Printed([] { (void)CheckSaveOptions("tiff", true); }),
            "TIFF BPP: 0\nTIFF Compression: none\nTIFF Color Mode: rgb\n");
  EXPECT_EQ(Printed([] { ReportLoadOptions("raw", true); }),
            "RAW Load As: auto\nRAW Header Size: 0\nRAW Image Width: 0\nRAW Image Height: 0\n"
            "RAW Tone Mapping: al\n");
  EXPECT_EQ(Printed([] { ReportLoadOptions("gif", true); }), "GIF Frame Loading: all\n");
  EXPECT_EQ(Printed([] { ReportLoadOptions("jpg", true); }), "");
}

TEST_F(SettingsReportTest, QualityIsCheckedAfterTheDepthForJpegAndWebp) {
  ConversionSettings.jpgQuality = 0;
  ConversionSettings.jpgBpp = 16;
  EXPECT_EQ(CheckSaveOptions("jpg", false), "Invalid jpg-bpp value");
  ConversionSettings.jpgBpp = 8;
  EXPECT_EQ(CheckSaveOptions("jpg", false), "Invalid jpg-quality value");
  ConversionSettings.webpQuality = 101;
  EXPECT_EQ(CheckSaveOptions("webp", false), "Invalid webp-quality value");
  ConversionSettings.webpQuality = 1;
  EXPECT_EQ(CheckSaveOptions("webp", false), std::nullopt);
}

TEST_F(SettingsReportTest, TransformChecksRunOnlyForEnabledSteps) {
  ConversionSettings.brightness = 500;
  ConversionSettings.width = 0;
  EXPECT_EQ(CheckTransforms(false), std::nullopt);
  ConversionSettings.doColorCorrection = 1;
  EXPECT_EQ(CheckTransforms(false), "Invalid brightness value");
  ConversionSettings.brightness = -100;
  ConversionSettings.gamma = 9.99f;
  EXPECT_EQ(CheckTransforms(false), std::nullopt);
  ConversionSettings.gamma = 0.0099f;
  EXPECT_EQ(CheckTransforms(false), "Invalid gamma value");
  ConversionSettings.gamma = 1.0f;
  ConversionSettings.doResize = 1;
  ConversionSettings.height = 5;
  EXPECT_EQ(CheckTransforms(false), "Invalid width value");
}

TEST_F(SettingsReportTest, DebugTransformLinesStopAtTheFailedCheck) {
  ConversionSettings.doResize = 1;
  ConversionSettings.width = 50;
  ConversionSettings.widthUnit = kUnitPercent;
  EXPECT_EQ(Printed([] { EXPECT_EQ(CheckTransforms(true), "Invalid height value"); }),
            "Width: 50 percent\nHeight: 0 pixels\n");
  ConversionSettings.doResize = 0;
  ConversionSettings.doColorCorrection = 1;
  ConversionSettings.gamma = 2.2f;
  EXPECT_EQ(Printed([] { (void)CheckTransforms(true); }),
            "Flip Horizontal: 0\nFlip Vertical: 0\nBrightness: 0\nContrast: 0\nGamma: 2.20\nInvert: 0\n"
            "Greyscale: 0\n");
}

// Every transform check names the report line of its value: the report stops there, and of
// two refused values the one reported first is the one named.
TEST_F(SettingsReportTest, EveryTransformCheckStopsTheReportAtItsOwnLine) {
  struct Case {
    void (*refuse)(ConversionSettingsRecord&);
    const char* lastLine;
    const char* error;
  };
  const Case cases[] = {
      {[](ConversionSettingsRecord& s) { s.width = 0; }, "Width: 0 pixels\n", "Invalid width value"},
      {[](ConversionSettingsRecord& s) { s.height = 0; }, "Height: 0 pixels\n", "Invalid height value"},
      {[](ConversionSettingsRecord& s) { s.brightness = 101; }, "Brightness: 101\n", "Invalid brightness value"},
      {[](ConversionSettingsRecord& s) { s.contrast = -101; }, "Contrast: -101\n", "Invalid contrast value"},
      {[](ConversionSettingsRecord& s) { s.gamma = 10.0f; }, "Gamma: 10.00\n", "Invalid gamma value"},
  };
  for (const Case& c : cases) {
    ResetProgramState();
    ConversionSettings.doResize = 1;
    ConversionSettings.width = ConversionSettings.height = 10;
    ConversionSettings.doColorCorrection = 1;
    c.refuse(ConversionSettings);
    ConversionSettings.invert = 1;  // the line after the last check's
    std::optional<std::string> error;
    const std::string printed = Printed([&] { error = CheckTransforms(true); });
    EXPECT_EQ(error, c.error);
    ASSERT_GE(printed.size(), std::string(c.lastLine).size()) << printed;
    EXPECT_EQ(printed.substr(printed.size() - std::string(c.lastLine).size()), c.lastLine) << printed;
  }
  ConversionSettings.height = 0;
  EXPECT_EQ(CheckTransforms(false), "Invalid height value") << "the gamma is reported after the height";
}

TEST_F(SettingsReportTest, FrameWatermarkAndNamingBlocks) {
  EXPECT_EQ(Printed([] { ReportFrame(true); }), "Frame: none\n");
  ConversionSettings.doFrame = kFrameSolid;
  ConversionSettings.frSolidTop = 20;
  std::string frame = Printed([] { ReportFrame(true); });
  EXPECT_EQ(frame.rfind("Frame: solid\nFrame left: 0\nFrame right: 0\nFrame top: 20\n", 0), 0u) << frame;
  ConversionSettings.doWatermark = kWatermarkImage;
  EXPECT_EQ(Printed([] { ReportWatermarkKind(true); }), "Watermark: image\n");
  ConversionSettings.fileTimestamp = kTimestampCustom;
  ConversionSettings.fileTimestampCustom = 0;
  EXPECT_EQ(Printed([] { ReportNaming(true); }),
            "Filename Mask: %filename%.%ext%\nFile Timestamp: custom\nCustom Timestamp: 0\nKeep Subfolders: 1\n");
}

}  // namespace
