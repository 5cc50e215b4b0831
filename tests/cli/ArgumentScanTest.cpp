#include "cli/ArgumentScan.h"

#include <gtest/gtest.h>

#include "cli/Arguments.h"
#include "convert/ConversionJob.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

ScanResult Scan(std::vector<std::string> arguments) {
  ResetProgramState();
  CommandLine = std::move(arguments);
  return ScanArguments();
}

const ConversionSettingsRecord& S = ConversionSettings;

struct RefusedCase {
  std::vector<std::string> arguments;
  std::string message;
};

TEST(ArgumentScanTest, MalformedValuesStopTheScanAndStoreNothingOfTheirOption) {
  const RefusedCase cases[] = {
      {{"--jpg-quality", "90", "-i", "a.raw"}, kIncorrectParameterCount},
      {{"-i"}, kIncorrectParameterCount},
      {{"-i", "-q"}, kIncorrectParameterCount},
      {{"-i", "-photo.raw"}, kIncorrectParameterCount},
      {{"--input", "a.raw"}, kIncorrectParameterCount},
      {{"--input="}, kIncorrectParameterCount},
      {{"-o"}, kIncorrectParameterCount},
      // The next argument is an option, not a value, even though its value would be "5".
      {{"-c", "--width=5"}, kIncorrectParameterCount},
      {{"-i", "--width=5"}, kIncorrectParameterCount},
      {{"-o", " --jpg-quality=80"}, kIncorrectParameterCount},
      {{"--width="}, kIncorrectParameterCount},
      {{"--rotation=", "-i", "a.raw"}, kIncorrectParameterCount},
      {{"--wm-text=--x"}, kIncorrectParameterCount},
      {{"--dither=--fs"}, kIncorrectParameterCount},
      {{"--profile="}, kIncorrectParameterCount},
      {{"--profile=/nonexistent/profile.ini", "-q"}, kInvalidProfileFile},
      {{"--profile=/tmp"}, kInvalidProfileFile},
  };
  for (const RefusedCase& c : cases) {
    ScanResult scan = Scan(c.arguments);
    std::string line = c.arguments.front();
    EXPECT_EQ(scan.errorMessage, c.message) << line;
    EXPECT_FALSE(scan.quiet) << line << ": arguments after the error are never examined";
    EXPECT_EQ(S.jpgQuality, 95) << line;
    EXPECT_EQ(S.doRotation, 0) << line;
    EXPECT_EQ(S.doResize, 0) << line;
    EXPECT_EQ(S.doWatermark, kWatermarkNone) << line;
    EXPECT_EQ(S.doDither, 0) << line;
    EXPECT_EQ(ConversionJob.inputFile, "") << line;
  }
}

TEST(ArgumentScanTest, InputIsARunEvenWhenItsValueIsRefused) {
  Scan({"-i"});
  EXPECT_EQ(ConversionJob.consoleRun, 1);
  Scan({"-o", "out"});
  EXPECT_EQ(ConversionJob.consoleRun, 0);
  Scan({"-i=x.raw"});
  EXPECT_EQ(ConversionJob.consoleRun, 0) << "-i=x names no option";
}

TEST(ArgumentScanTest, InputOutputAndConversionInShortAndLongForm) {
  EXPECT_EQ(Scan({"-i", "a.raw", "-O", "out", "-c", "JPG"}).errorMessage, "");
  EXPECT_EQ(ConversionJob.inputFile, "a.raw");
  EXPECT_EQ(ConversionJob.outputFolder, "out");
  EXPECT_EQ(ConversionJob.outputExtension, "JPG") << "the driver judges letter case";
  EXPECT_EQ(ConversionJob.consoleRun, 1);

  EXPECT_EQ(Scan({"--INPUT=\"a b.raw\"", "--output=d:\\x", "--conversion=\"jpg\""}).errorMessage, "");
  EXPECT_EQ(ConversionJob.inputFile, "a b.raw");
  EXPECT_EQ(ConversionJob.outputFolder, "d:\\x");
  EXPECT_EQ(ConversionJob.outputExtension, "jpg");
}

TEST(ArgumentScanTest, QuotedValuesJoinTheFollowingArgumentsWhichAreNotExamined) {
  Scan({"-i", "\"My", "Photo.raw\"", "-o", "\"out", "-q", "dir\""});
  EXPECT_EQ(ConversionJob.inputFile, "My Photo.raw");
  EXPECT_EQ(ConversionJob.outputFolder, "out -q dir");

  ScanResult scan = Scan({"--wm-text=\"Hello", "-q", "--width=5\"", "-d"});
  EXPECT_EQ(S.wmText, "Hello -q 5") << "joined arguments contribute their value";
  EXPECT_FALSE(scan.quiet);
  EXPECT_EQ(S.doResize, 0);
  EXPECT_EQ(ConversionJob.runMode, "DEBUG") << "the argument after the closing quote is examined";

  Scan({"--wm-text=\"never closed", "-i", "a.raw"});
  EXPECT_EQ(S.wmText, "never closed -i a.raw");
  EXPECT_EQ(ConversionJob.consoleRun, 0);

  Scan({"-c", "\"jp", "g\""});
  EXPECT_EQ(ConversionJob.outputExtension, "jp") << "-c joins nothing";
}

TEST(ArgumentScanTest, TextValuesKeepInnerSpacesAndLoseOuterQuotes) {
  Scan({"--wm-text=\"\"Say \"hi\"\"\"", "--wm-font= Liberation Sans"});
  EXPECT_EQ(S.wmText, "Say \"hi");
  EXPECT_EQ(S.wmFont, " Liberation Sans");
  Scan({"--wm-text=-"});
  EXPECT_EQ(S.wmText, "-") << "a single - is a value";
}

TEST(ArgumentScanTest, FlagsIgnoreTheirValue) {
  Scan({"--flip-horizontal=0", "--NO-SUBFOLDERS=0", "--invert=no"});
  EXPECT_EQ(S.flipHorizontal, 1);
  EXPECT_EQ(S.keepSubfolders, 0);
  EXPECT_EQ(S.invert, 1);
}

TEST(ArgumentScanTest, EnableFlagsFollowOnlyTheirOptions) {
  Scan({"--width=0"});
  EXPECT_EQ(S.doResize, 1) << "the driver then refuses width 0";
  Scan({"--fr-solid-left-color=FF0000", "--fr-solid-opacity=10"});
  EXPECT_EQ(S.doFrame, kFrameNone);
  Scan({"--invert"});
  EXPECT_EQ(S.doColorCorrection, 1);
  EXPECT_EQ(S.brightness, 0);
  EXPECT_EQ(S.contrast, 0);
  EXPECT_FLOAT_EQ(S.gamma, 1.0f);
}

TEST(ArgumentScanTest, LaterOptionsWin) {
  Scan({"--jpg-quality=10", "--jpg-quality=20"});
  EXPECT_EQ(S.jpgQuality, 20);
  Scan({"--wm-text=Hi", "--wm-image=logo.png"});
  EXPECT_EQ(S.doWatermark, kWatermarkImage);
  EXPECT_EQ(S.wmText, "Hi");
  Scan({"--wm-image=logo.png", "--wm-text=Hi"});
  EXPECT_EQ(S.doWatermark, kWatermarkText);
  EXPECT_EQ(S.wmImage, "logo.png");
}

TEST(ArgumentScanTest, RunFlagsCountWhereverTheyStand) {
  ScanResult scan = Scan({"-Q", "-i", "a.raw", "--debug", "--PAUSE", "-v", "-h", "--wm-solid-opacity=3"});
  EXPECT_TRUE(scan.quiet);
  EXPECT_TRUE(scan.pause);
  EXPECT_EQ(ConversionJob.runMode, "DEBUG");
  EXPECT_EQ(S.frSolidOpacity, 255) << "the profile's name for the frame opacity is no option";
}

TEST(ArgumentScanTest, PauseCountsOnlyBeforeTheError) {
  EXPECT_TRUE(Scan({"-p", "--width="}).pause);
  EXPECT_FALSE(Scan({"--width=", "-p"}).pause);
}

TEST(ArgumentScanTest, ProfileAppliesAtItsPosition) {
  TempFolder folder;
  const std::string profile = folder / "my profile.ini";
  WriteText(profile, "[CLI]\n--jpg-quality = 85\n--width = 640\n");
  Scan({"--jpg-quality=50", "--profile=" + profile});
  EXPECT_EQ(S.jpgQuality, 85);
  EXPECT_EQ(S.doResize, 1);
  Scan({"--profile=" + profile, "--jpg-quality=50"});
  EXPECT_EQ(S.jpgQuality, 50);

  // A path with a space arrives split when its quotes were not balanced by the shell.
  std::string quoted = "--profile=\"" + profile;
  size_t space = quoted.find(' ');
  EXPECT_EQ(Scan({quoted.substr(0, space), quoted.substr(space + 1) + "\""}).errorMessage, "");
  EXPECT_EQ(S.jpgQuality, 85);
}

}  // namespace
