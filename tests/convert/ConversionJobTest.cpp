#include "convert/ConversionJob.h"

#include <gtest/gtest.h>

#include "support/ProgramState.h"

TEST(ConversionJobTest, ResetGivesStartingValues) {
  ResetProgramState();
  ConversionJob.outputExtension = "png";
  ConversionJob.fileCounter = 7;
  JobFileList["x.raw"] = JobFileEntry{1, ""};
  ResetConversionJob();
  EXPECT_TRUE(ConversionJob.outputExtension.empty());
  EXPECT_TRUE(ConversionJob.outputFolder.empty());
  EXPECT_TRUE(ConversionJob.inputFile.empty());
  EXPECT_EQ(ConversionJob.fileCounter, 1);
  EXPECT_GE(ConversionJob.randomNumber, 1);
  EXPECT_LE(ConversionJob.randomNumber, 99999);
  EXPECT_EQ(ConversionJob.projectFile, "untitled.qln");
  EXPECT_EQ(ConversionJob.consoleRun, 0);
  EXPECT_TRUE(JobFileList.empty());
  ASSERT_FALSE(ConversionJob.programFolder.empty());
  EXPECT_EQ(ConversionJob.programFolder.back(), '/');
  EXPECT_EQ(AcceptedInputExtensions.size(), 50u);
}

// The batch names every file before anything is converted, when no check has yet filled in
// the output extension: an unset -c names the file as the conversion will write it.
TEST(ConversionJobTest, AFileRequestGetsTheDefaultExtension) {
  ResetProgramState();
  ConversionJob.outputFolder = "/out/";
  ImageRequest request = ImageRequestFor("/in/a.dng");
  EXPECT_EQ(request.currentFile, "/in/a.dng");
  EXPECT_EQ(request.outputFolder, "/out/");
  EXPECT_EQ(request.outputExtension, "jpg");
  ConversionJob.outputExtension = "bmp";
  EXPECT_EQ(ImageRequestFor("/in/a.dng").outputExtension, "bmp");
}
