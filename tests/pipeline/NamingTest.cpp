#include "pipeline/Naming.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

ConversionSettingsRecord settings = DefaultConversionSettings(true);

ImageRequest request{settings};
ImageResult result;

void StartJob(const std::string& currentFile, const std::string& extension) {
  ResetProgramState();
  settings = DefaultConversionSettings(true);
  ClearImageRequest(request);
  result = ImageResult{};
  request.currentFile = currentFile;
  request.outputExtension = extension;
}

struct MaskCase {
  const char* currentFile;
  const char* extension;
  const char* mask;
  int32_t fileCounter;
  int32_t randomNumber;
  const char* expected;
};

void PrintTo(const MaskCase& c, std::ostream* out) { *out << '"' << c.mask << "\" on " << c.currentFile; }

class MaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, ExpandsToExpectedName) {
  const MaskCase& c = GetParam();
  StartJob(c.currentFile, c.extension);
  settings.filenameMask = c.mask;
  request.fileCounter = c.fileCounter;
  request.randomNumber = c.randomNumber;
  result.targetBpp = 24;
  result.outputWidth = 641;
  result.outputHeight = 479;
  result.frameNumber = 1;
  EXPECT_EQ(ExpandFilenameMask(request, result), c.expected) << "mask \"" << c.mask << "\" on " << c.currentFile;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskTest,
    ::testing::Values(MaskCase{"D:\\in\\photo.CR2", "jpg", "%filename%.%ext%", 1, 1, "photo.jpg"},
                      MaskCase{"/in/photo.CR2", "jpg", "", 1, 1, "photo.jpg"},
                      MaskCase{"/in/dsc-0001.NEF", "png", "%filename[t]%-%ext[u]%.%ext%", 1, 1, "Dsc-0001-PNG.png"},
                      MaskCase{"/in/a.cr2", "jpg", "Shot-%N%.%EXT%", 1, 1, "shot-00001.jpg"},
                      MaskCase{"/in/DSC.NEF", "jpg", "%FileName[L]%_%filename[u]%.%ext[t]%", 1, 1, "dsc_DSC.Jpg"},
                      // Five-character padding keeps the first five characters of a longer number.
                      MaskCase{"/in/a.cr2", "jpg", "%n%", 100000, 1, "10000"},
                      MaskCase{"/in/a.cr2", "jpg", "%n%", 123456, 1, "12345"},
                      MaskCase{"/in/a.cr2", "jpg", "%n%-%rnd%", 42, 7, "00042-00007"},
                      MaskCase{"/in/a.cr2", "jpg", "%rnd%", 1, 99999, "99999"},
                      // Text that is no token stays, lower-cased, and a lone "%" is kept.
                      MaskCase{"/in/a.cr2", "jpg", "%FOO%_100%_%filename%", 1, 1, "%foo%_100%_a"},
                      // A value holding a later token is expanded again; one holding an earlier token is not.
                      MaskCase{"/in/pic%ext%.cr2", "jpg", "%filename%.%ext%", 1, 1, "picjpg.jpg"},
                      MaskCase{"/in/pic%filename%.cr2", "jpg", "%filename%", 1, 1, "pic%filename%"},
                      MaskCase{"/in/pic%n%.cr2", "jpg", "%filename%", 3, 1, "pic00003"},
                      // The mask is lower-cased before values go in, and tokens are looked for exactly.
                      MaskCase{"/in/pic%N%.cr2", "jpg", "%filename%", 3, 1, "pic%N%"},
                      MaskCase{"/in/a.cr2", "jpg", "%width%x%height%-%bpp%-%frame%", 1, 1, "641x479-24-1"},
                      // Letters of the whole mask and of values use Unicode case mapping.
                      MaskCase{"/in/été.CR2", "jpg", "ÉTÉ-%filename[u]%", 1, 1, "été-ÉTÉ"},
                      MaskCase{"/in/éCOLE.CR2", "jpg", "%filename[t]%", 1, 1, "École"},
                      // Base names: only the last dot can start an extension.
                      MaskCase{"c:\\x.y\\a.b.cr2", "jpg", "%filename%", 1, 1, "a.b"},
                      MaskCase{"/in/.hidden", "jpg", "%filename%", 1, 1, ".hidden"},
                      MaskCase{"/in/a.b c", "jpg", "%filename%", 1, 1, "a.b c"},
                      MaskCase{"/in/photo.", "jpg", "%filename%", 1, 1, "photo"},
                      MaskCase{"/in.d/noext", "jpg", "%filename%", 1, 1, "noext"},
                      MaskCase{"mixed/sep\\last.cr2", "jpg", "%filename%", 1, 1, "last"}));

TEST(NamingTest, ExpandNameTokenIgnoresCaseAndContinuesBehindTheValue) {
  StartJob("/in/x%FILENAME%y.cr2", "jpg");
  request.fileCounter = 1;
  EXPECT_EQ(ExpandNameToken("%N%%n%-%n", "%n%", request, result), "0000100001-%n");
  // The inserted value holds the token itself; it is not searched again.
  EXPECT_EQ(ExpandNameToken("[%FileName%]", "%filename%", request, result), "[x%FILENAME%y]");
  EXPECT_EQ(ExpandNameToken("%foo% %n%", "%foo%", request, result), "%foo% %n%");
  EXPECT_EQ(ExpandNameToken("no tokens", "%ext%", request, result), "no tokens");
}

// Each field must equal that of a clock reading taken before or after the expansion.
TEST(NamingTest, DateAndTimeTokensReadTheClock) {
  StartJob("/in/a.cr2", "jpg");
  settings.filenameMask = "%YYYY%-%mm%-%dd% %hh%:%ii%:%ss%";
  std::tm before = LocalNow();
  std::string name = ExpandFilenameMask(request, result);
  std::tm after = LocalNow();
  int fields[6] = {};
  ASSERT_EQ(std::sscanf(name.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &fields[0], &fields[1], &fields[2], &fields[3],
                        &fields[4], &fields[5]),
            6)
      << name;
  ASSERT_EQ(name.size(), 19u) << name;
  auto fieldsOf = [](const std::tm& t) {
    return std::array<int, 6>{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  };
  std::array<int, 6> early = fieldsOf(before), late = fieldsOf(after);
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(fields[i] == early[i] || fields[i] == late[i]) << "field " << i << " of " << name;
}

TEST(NamingTest, OutputPathJoinsFolderSubfolderAndName) {
  StartJob("/in/photo.CR2", "jpg");
  request.outputFolder = "/out/";
  settings.keepSubfolders = 1;
  EXPECT_EQ(BuildOutputPath(request, result), "/out/photo.jpg");
  settings.keepSubfolders = 0;
  EXPECT_EQ(BuildOutputPath(request, result), "/out/photo.jpg");

  request.currentSubfolder = "day 1/";
  EXPECT_EQ(BuildOutputPath(request, result), "/out/photo.jpg");
  settings.keepSubfolders = 1;
  EXPECT_EQ(BuildOutputPath(request, result), "/out/day 1/photo.jpg");

  // Nothing is added: a mask without the extension token gives a name without one.
  settings.filenameMask = "%filename%";
  EXPECT_EQ(BuildOutputPath(request, result), "/out/day 1/photo");
}

TEST(NamingTest, NamesReachSubfoldersButNeverLeaveTheOutputFolder) {
  StartJob("/in/photo.CR2", "jpg");
  request.outputFolder = "/out/";
  const std::pair<const char*, const char*> kept[] = {
      {"day 1/%filename%.%ext%", "/out/day 1/photo.jpg"},
      {"a..b/..%filename%..%ext%", "/out/a..b/..photo..jpg"},
      {"./%filename%", "/out/./photo"},
  };
  for (const auto& [mask, path] : kept) {
    settings.filenameMask = mask;
    EXPECT_EQ(BuildOutputPath(request, result), path) << mask;
  }
  for (const char* mask :
       {"../../notes.txt", "../%filename%.%ext%", "day 1/../../x.jpg", "day 1/..", "/tmp/x.%ext%", "//x.jpg"}) {
    settings.filenameMask = mask;
    EXPECT_EQ(BuildOutputPath(request, result), "") << mask;
  }
  // The expanded name counts: a file called "...cr2" has ".." for its name.
  StartJob("/in/...cr2", "jpg");
  settings.filenameMask = "%filename%";
  EXPECT_EQ(BuildOutputPath(request, result), "");
}

struct WatermarkCase {
  const char* currentFile;
  const char* text;
  const char* expected;
};

void PrintTo(const WatermarkCase& c, std::ostream* out) { *out << '"' << c.text << "\" on " << c.currentFile; }

class WatermarkTextTest : public ::testing::TestWithParam<WatermarkCase> {};

TEST_P(WatermarkTextTest, ExpandsConfiguredText) {
  const WatermarkCase& c = GetParam();
  StartJob(c.currentFile, "jpg");
  settings.wmText = c.text;
  request.fileCounter = 1;
  result.outputWidth = 640;
  result.outputHeight = 480;
  EXPECT_EQ(ExpandWatermarkText(request, result), c.expected) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Texts, WatermarkTextTest,
                         ::testing::Values(
                             // Fewer than two "%": used as it is, even when it looks like a token start.
                             WatermarkCase{"/in/Photo.CR2", "(c) 100% Quillmark", "(c) 100% Quillmark"},
                             WatermarkCase{"/in/Photo.CR2", "%FILENAME", "%FILENAME"},
                             // Literal text keeps its case; tokens match in any case.
                             WatermarkCase{"/in/Photo.CR2", "Shot %FileName% ON %EXT[U]%", "Shot Photo ON JPG"},
                             WatermarkCase{"/in/Photo.CR2", "Size %Width%x%HEIGHT%", "Size 640x480"},
                             WatermarkCase{"/in/Photo.CR2", "Line%EOL%Two %foo%", "Line%EOL%Two %foo%"},
                             // A later token in a value is expanded only when the configured text holds it too.
                             WatermarkCase{"/in/pic%n%.cr2", "%filename%", "pic%n%"},
                             WatermarkCase{"/in/pic%n%.cr2", "%filename% #%n%", "pic00001 #00001"}));

// Time stamps, checked in several time zones. The zone is set through TZ for this process.
class TimestampTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string zone = GetParam();
    if (zone != "UTC" && FileSize("/usr/share/zoneinfo/" + zone) < 0)
      GTEST_SKIP() << "time zone data for " << zone << " is not installed";
    const char* old = std::getenv("TZ");
    hadZone_ = old != nullptr;
    if (old) oldZone_ = old;
    setenv("TZ", zone.c_str(), 1);
    tzset();
    StartJob(folder_ / "in.cr2", "jpg");
    result.outputFile = folder_ / "out.jpg";
    WriteText(request.currentFile, "input");
    WriteText(result.outputFile, "output");
  }
  void TearDown() override {
    if (hadZone_)
      setenv("TZ", oldZone_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  static void SetTimes(const std::string& path, timespec access, timespec modification) {
    timespec times[2] = {access, modification};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }
  static struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info;
  }
  static std::tm LocalFieldsOf(time_t instant) {
    std::tm fields{};
    localtime_r(&instant, &fields);
    return fields;
  }

  TempFolder folder_;
  bool hadZone_ = false;
  std::string oldZone_;
};

// CUSTOM values are local wall-clock seconds: the file shows exactly those calendar fields.
TEST_P(TimestampTest, CustomValueIsLocalWallClockAndLeavesAccessTime) {
  struct CustomCase {
    int32_t value;
    int fields[6];  // year, month, day, hour, minute, second
  };
  const CustomCase cases[] = {{0, {1970, 1, 1, 0, 0, 0}}, {1626352496, {2021, 7, 15, 12, 34, 56}}};
  for (const CustomCase& c : cases) {
    SetTimes(result.outputFile, {1000000000, 0}, {1000000000, 0});
    settings.fileTimestamp = kTimestampCustom;
    settings.fileTimestampCustom = c.value;
    ApplyFileTimestamp(request.currentFile, result.outputFile, settings);
    struct stat info = StatOf(result.outputFile);
    std::tm local = LocalFieldsOf(info.st_mtim.tv_sec);
    const int actual[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour,        local.tm_min,     local.tm_sec};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(actual[i], c.fields[i]) << "value " << c.value << ", field " << i;
    EXPECT_EQ(info.st_atim.tv_sec, 1000000000) << "value " << c.value;
  }
}

TEST_P(TimestampTest, OriginalCopiesTheInputTimeToTheSecond) {
  // 2023-11-05 06:30 UTC is 01:30 on the second pass of New York's repeated hour; the
  // output must carry the same instant, not the first 01:30.
  for (time_t instant : {time_t{1600000000}, time_t{1699165800}, time_t{1699162200}}) {
    SetTimes(request.currentFile, {instant, 0}, {instant, 700000000});
    SetTimes(result.outputFile, {5, 0}, {5, 0});
    settings.fileTimestamp = kTimestampOriginal;
    ApplyFileTimestamp(request.currentFile, result.outputFile, settings);
    struct stat info = StatOf(result.outputFile);
    EXPECT_EQ(info.st_mtim.tv_sec, instant);
    EXPECT_EQ(info.st_mtim.tv_nsec, 0);
    EXPECT_EQ(ReadLocalModificationTime(result.outputFile), ReadLocalModificationTime(request.currentFile));
  }
}

TEST_P(TimestampTest, CurrentAndUnknownCodesLeaveTheTimeAlone) {
  for (int8_t code : {int8_t{0}, int8_t{3}, int8_t{-1}}) {
    SetTimes(result.outputFile, {1234, 0}, {1234, 5678});
    settings.fileTimestamp = code;
    ApplyFileTimestamp(request.currentFile, result.outputFile, settings);
    struct stat info = StatOf(result.outputFile);
    EXPECT_EQ(info.st_mtim.tv_sec, 1234) << "code " << int{code};
    EXPECT_EQ(info.st_mtim.tv_nsec, 5678) << "code " << int{code};
  }
}

TEST_P(TimestampTest, FailuresAreIgnored) {
  SetTimes(result.outputFile, {1234, 0}, {1234, 0});
  request.currentFile = folder_ / "missing.cr2";
  settings.fileTimestamp = kTimestampOriginal;
  ApplyFileTimestamp(request.currentFile, result.outputFile, settings);
  EXPECT_EQ(StatOf(result.outputFile).st_mtim.tv_sec, 1234);

  result.outputFile = folder_ / "missing.jpg";
  settings.fileTimestamp = kTimestampCustom;
  ApplyFileTimestamp(request.currentFile, result.outputFile, settings);
  EXPECT_EQ(FileSize(result.outputFile), -1);  // nothing was created
}

INSTANTIATE_TEST_SUITE_P(Zones, TimestampTest,
                         ::testing::Values("UTC", "America/New_York", "Asia/Tokyo", "Australia/Adelaide"),
                         [](const ::testing::TestParamInfo<const char*>& zone) {
                           std::string name = zone.param;
                           for (char& c : name)
                             if (c == '/') c = '_';
                           return name;
                         });

}  // namespace
