#include "convert/ConversionJob.h"

#include <gtest/gtest.h>

#include "support/ProgramState.h"

TEST(ConversionJobTest, FolderPart) {
  EXPECT_EQ(FolderPart("c:\\pics\\a.raw"), "c:\\pics\\");
  EXPECT_EQ(FolderPart("a.raw"), "");
  EXPECT_EQ(FolderPart("c:/pics/a.raw"), "c:/pics/");
  EXPECT_EQ(FolderPart("/home/me/a.raw"), "/home/me/");
  EXPECT_EQ(FolderPart("\"/home/me/a.raw\""), "/home/me/");
  EXPECT_EQ(FolderPart("/home/me|/x/a.raw"), "/home/");
  EXPECT_EQ(FolderPart(""), "");
}

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
