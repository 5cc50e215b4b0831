#include "convert/Worker.h"

#include <gtest/gtest.h>

#include "convert/ConversionJob.h"
#include "convert/Driver.h"
#include "pipeline/Loading.h"
#include "settings/ConversionSettings.h"
#include "support/DngWriter.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    ConversionJob.outputFolder = folder.path() + "/";
    ConversionJob.outputExtension = "jpg";
    ConversionJob.consoleRun = 1;
    ConversionSettings.filenameMask = "%filename%-%n%.%ext%";
    FixSaveSettings();
    ConversionProgress.running = 1;
  }
  void Add(const std::string& name, bool good) {
    std::string path = folder / name;
    if (good)
      ASSERT_TRUE(WriteTestDng(path, DngOptions{}));
    else
      WriteBytes(path, {});  // no decoder, not even the headerless one, takes an empty file
    JobFileList[path] = JobFileEntry{1, ""};
  }
  TempFolder folder;
};

TEST_F(WorkerTest, SuccessAdvancesTheNameValuesAndRecordsAtLeastASecond) {
  Add("a.dng", true);
  Add("b.dng", true);
  ConversionWorker(0);
  EXPECT_EQ(ConversionProgress.convertedCount, 2);
  EXPECT_EQ(ConversionProgress.index, 2);
  EXPECT_EQ(ConversionProgress.currentName, folder / "b.dng");
  EXPECT_EQ(ConversionProgress.lastDuration, 1000) << "a quick first file still counts a second";
  EXPECT_EQ(ConversionJob.fileCounter, 3);
  EXPECT_GT(ReadBytes(folder / "a-00001.jpg").size(), 0u);
  EXPECT_GT(ReadBytes(folder / "b-00002.jpg").size(), 0u);
  EXPECT_GE(ConversionJob.randomNumber, 1);
  EXPECT_LE(ConversionJob.randomNumber, 99999);
}

TEST_F(WorkerTest, FailureLeavesTheNameValuesAndRecordsNoDuration) {
  Add("a.dng", false);
  Add("b.dng", true);
  ConversionWorker(0);
  EXPECT_EQ(ConversionProgress.convertedCount, 1);
  EXPECT_EQ(ConversionProgress.lastDuration, 0);
  EXPECT_GT(ReadBytes(folder / "b-00001.jpg").size(), 0u) << "the failed file did not use up the counter";
  EXPECT_EQ(ConversionJob.fileCounter, 2);
}

TEST_F(WorkerTest, AFailedFileKeepsTheRandomNumber) {
  Add("a.dng", false);
  const int32_t random = ConversionJob.randomNumber;
  ConversionWorker(0);
  EXPECT_EQ(ConversionProgress.convertedCount, 0);
  EXPECT_EQ(ConversionJob.randomNumber, random);
  EXPECT_EQ(ConversionJob.fileCounter, 1);
}

TEST_F(WorkerTest, StopsBeforeTheNextFileWhenNoLongerRunning) {
  Add("a.dng", true);
  ConversionProgress.running = 0;
  ConversionWorker(0);
  EXPECT_EQ(ConversionProgress.convertedCount, 0);
  EXPECT_EQ(ConversionProgress.index, 0);
  EXPECT_TRUE(ReadBytes(folder / "a-00001.jpg").empty());
}

// OpenMP's threads do not survive fork: a child forked by a thread that has decoded a RAW
// file itself used to wait forever for the threads of that earlier decode. A hang here ends
// in CTest's time limit.
TEST_F(WorkerTest, ConvertsAfterThisProcessDecodedARawFileItself) {
  ConversionSettings.rawLoadAs = kLoadAs48;  // the full decode, whose development runs OpenMP regions
  Add("a.dng", true);
  ASSERT_TRUE(LoadSourceImage(folder / "a.dng", ConversionSettings));
  ConversionWorker(0);
  EXPECT_EQ(ConversionProgress.convertedCount, 1);
  EXPECT_GT(ReadBytes(folder / "a-00001.jpg").size(), 0u);
}

}  // namespace
