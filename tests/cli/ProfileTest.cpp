#include "cli/Profile.h"

#include <gtest/gtest.h>

#include "convert/ConversionJob.h"
#include "platform/IniFile.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

const ConversionSettingsRecord& S = ConversionSettings;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  // Writes the bytes as they are and applies them.
  bool Apply(const std::string& bytes) {
    WriteText(path_, bytes);
    return ApplyProfile(path_);
  }
  TempFolder folder_;
  std::string path_ = folder_ / "profile.ini";
};

TEST_F(ProfileTest, OnlyTheFirstCliGroupInAnyCaseIsRead) {
  EXPECT_TRUE(
      Apply("--JPG-QUALITY = 10\n[Other]\n--JPG-QUALITY = 20\n[cli]\n--jpg-quality = 85\n"
            "[Later]\n--WIDTH = 5\n[CLI]\n--HEIGHT = 7\n"));
  EXPECT_EQ(S.jpgQuality, 85);
  EXPECT_EQ(S.doResize, 0);
  EXPECT_EQ(S.height, 0);
}

TEST_F(ProfileTest, OptionsOutsideTheGroupChangeNothingAndSucceed) {
  EXPECT_TRUE(Apply("--JPG-QUALITY = 10\n[Settings]\n--WIDTH = 5\n"));
  EXPECT_EQ(S.jpgQuality, 95);
  EXPECT_EQ(S.doResize, 0);
  EXPECT_TRUE(Apply(""));
}

TEST_F(ProfileTest, RunOptionsAreNoKeys) {
  EXPECT_TRUE(
      Apply("[CLI]\n-I = a.raw\n--INPUT = a.raw\n-O = out\n--OUTPUT = out\n-C = png\n"
            "--CONVERSION = png\n--PROFILE = other.ini\n-D\n--DEBUG\n-Q\n--QUIET\n-P\n--PAUSE\n"));
  EXPECT_EQ(ConversionJob.consoleRun, 0);
  EXPECT_EQ(ConversionJob.inputFile, "");
  EXPECT_EQ(ConversionJob.outputFolder, "");
  EXPECT_EQ(ConversionJob.outputExtension, "");
  EXPECT_EQ(ConversionJob.runMode, "");
}

TEST_F(ProfileTest, TextKeysKeepQuotesAndLoseSpaces) {
  EXPECT_TRUE(
      Apply("[CLI]\n--WM-TEXT = \"Holiday\"\n--WM-FONT =   Liberation Serif  \t\n"
            "--FR-SOLID-LEFT-COLOR=\" FF0000 \"\n"));
  EXPECT_EQ(S.wmText, "\"Holiday\"");
  EXPECT_EQ(S.doWatermark, kWatermarkText);
  EXPECT_EQ(S.wmFont, "Liberation Serif");
  EXPECT_EQ(S.frSolidLeftColor, "\" FF0000 \"");
}

TEST_F(ProfileTest, FileNameMaskLosesQuotesAndKeepsQuotedSpaces) {
  EXPECT_TRUE(Apply("[CLI]\n--FILENAME-MASK = \" %filename% (small)  \"\n"));
  EXPECT_EQ(S.filenameMask, " %filename% (small)  ");
  EXPECT_TRUE(Apply("[CLI]\n--FILENAME-MASK = %filename%_x   \n"));
  EXPECT_EQ(S.filenameMask, "%filename%_x") << "unquoted trailing blanks are not part of the mask";
}

TEST_F(ProfileTest, FlagKeysIgnoreTheirValue) {
  EXPECT_TRUE(Apply("[CLI]\n--FLIP-VERTICAL = 0\n--invert\n--NO-SUBFOLDERS = 1\n--GREYSCALE = no\n"));
  EXPECT_EQ(S.flipVertical, 1);
  EXPECT_EQ(S.invert, 1);
  EXPECT_EQ(S.doColorCorrection, 1);
  EXPECT_EQ(S.keepSubfolders, 0);
  EXPECT_EQ(S.greyscale, 1);
}

TEST_F(ProfileTest, EmptyValuesAreStoredAsTheyParse) {
  EXPECT_TRUE(Apply("[CLI]\n--JPG-QUALITY =\n--DITHER =  \n--WM-TEXT=\n--GAMMA\n--RESIZE-ALGORITHM = \n"));
  EXPECT_EQ(S.jpgQuality, 0);
  EXPECT_EQ(S.dither, kDitherFs);
  EXPECT_EQ(S.doDither, 1);
  EXPECT_EQ(S.wmText, "");
  EXPECT_EQ(S.doWatermark, kWatermarkText);
  EXPECT_FLOAT_EQ(S.gamma, 0.0f);
  EXPECT_EQ(S.resizeAlgorithm, kResizeBox);
}

TEST_F(ProfileTest, NumbersKeywordsCaseAndRepeats) {
  EXPECT_TRUE(
      Apply("\xEF\xBB\xBF[Cli]\r\n\t --jpg-Quality = 70\r\n--JPG-QUALITY = $50\r\n"
            "--gamma = 2,2\r\n--resize-algorithm =  lanczos \r\n--WM-TEXT = a=b\r\n--UNKNOWN = 3\r\n"));
  EXPECT_EQ(S.jpgQuality, 80);
  EXPECT_FLOAT_EQ(S.gamma, 2.0f);
  EXPECT_EQ(S.resizeAlgorithm, kResizeLanczos);
  EXPECT_EQ(S.wmText, "a=b");
}

TEST_F(ProfileTest, ValidUtf8IsReadAsUtf8AndAnyOtherByteMakesTheFileLatin1) {
  EXPECT_TRUE(Apply("[CLI]\n--WM-TEXT = \xC2\xA9 2024 Zo\xC3\xAB\n"));
  EXPECT_EQ(S.wmText, "\xC2\xA9 2024 Zo\xC3\xAB") << "what a Linux editor saves, without a byte-order mark";
  EXPECT_TRUE(Apply("\xEF\xBB\xBF[CLI]\n--WM-TEXT = caf\xC3\xA9\n"));
  EXPECT_EQ(S.wmText, "caf\xC3\xA9");
  EXPECT_TRUE(Apply("[CLI]\n--WM-TEXT = caf\xE9\n"));
  EXPECT_EQ(S.wmText, "caf\xC3\xA9");
  // One Latin-1 byte after the text decides for the whole file, whose text is then Latin-1.
  EXPECT_TRUE(Apply("[CLI]\n--WM-TEXT = caf\xC3\xA9\n; r\xE9sum\xE9\n"));
  EXPECT_EQ(S.wmText, "caf\xC3\x83\xC2\xA9");
  EXPECT_TRUE(Apply("[CLI]\n--WM-TEXT = caf\xC3\xA9\n;\xC3"));
  EXPECT_EQ(S.wmText, "caf\xC3\x83\xC2\xA9") << "a sequence cut by the end of the file is no UTF-8";
}

// A sequence that a piece boundary cuts is checked whole when the next piece comes.
TEST_F(ProfileTest, Utf8CheckSeesSequencesAcrossPieces) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7z";
  Utf8Check whole;
  CheckUtf8Bytes(whole, text);
  EXPECT_TRUE(EndUtf8Check(whole));
  Utf8Check bytewise;
  for (char c : text) CheckUtf8Bytes(bytewise, std::string_view(&c, 1));
  EXPECT_TRUE(EndUtf8Check(bytewise));
  Utf8Check broken;
  CheckUtf8Bytes(broken, "\xE2\x82");
  CheckUtf8Bytes(broken, "z");
  EXPECT_FALSE(EndUtf8Check(broken));
}

TEST_F(ProfileTest, UnreadablePathsFail) {
  EXPECT_FALSE(ApplyProfile(""));
  EXPECT_FALSE(ApplyProfile(folder_ / "missing.ini"));
  EXPECT_FALSE(ApplyProfile(folder_.path()));
  EXPECT_FALSE(ApplyProfile("/dev/null")) << "only a regular file is a profile";
}

TEST_F(ProfileTest, FilesOfAnySizeAndBinaryBytesAreRead) {
  std::string large = "[CLI]\n";
  while (large.size() < 10'000'000) large += "--WM-TEXT = one of many lines that a profile may hold\n";
  EXPECT_TRUE(Apply(large + "--JPG-QUALITY = 80\n"));
  EXPECT_EQ(S.jpgQuality, 80) << "the key on the last line of a 10 MB profile";

  std::vector<uint8_t> binary(65536);
  uint32_t state = 12345;
  for (uint8_t& byte : binary) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
  const std::string header = "[CLI]\n--WM-TEXT = ";
  std::copy(header.begin(), header.end(), binary.begin());
  WriteBytes(path_, binary);
  EXPECT_TRUE(ApplyProfile(path_));
}

}  // namespace
