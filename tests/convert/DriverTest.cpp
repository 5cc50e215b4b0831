#include "convert/Driver.h"

#include <gtest/gtest.h>

#include "convert/ConversionJob.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

TEST(DriverImportTest, AddJobFileKeepsOneAcceptedFile) {
  ResetProgramState();
  TempFolder folder;
  WriteBytes(folder / "a.CR2", {1});
  WriteBytes(folder / "b.nef", {1});
  WriteBytes(folder / "c.jpg", {1});
  WriteBytes(folder / "d.dng", {});
  EXPECT_TRUE(AddJobFile(folder / "a.CR2"));
  EXPECT_TRUE(AddJobFile(folder / "b.nef"));
  EXPECT_FALSE(AddJobFile(folder / "c.jpg"));
  EXPECT_FALSE(AddJobFile(folder / "d.dng"));
  ASSERT_EQ(JobFileList.size(), 1u);
  EXPECT_EQ(JobFileList.begin()->first, folder / "b.nef");
  EXPECT_EQ(JobFileList.begin()->second.added, 1);
  EXPECT_EQ(JobFileList.begin()->second.subfolder, "");
}

// The batch checks one file of its request through this; the program's job record must come
// out as it went in, since the batch goes on to name every file with it.
TEST(DriverCheckTest, TheRequestCheckReturnsTheFolderAndLeavesTheJobAlone) {
  ResetProgramState();
  TempFolder folder;
  WriteBytes(folder / "a.dng", {1});
  ConversionJob.outputFolder = "given";
  RequestVerdict verdict = CheckConversionRequest(folder / "a.dng", folder.path());
  EXPECT_FALSE(verdict.error);
  EXPECT_EQ(verdict.outputFolder, folder.path() + "/");
  verdict = CheckConversionRequest(folder / "a.dng", "../up");
  EXPECT_EQ(verdict.error, "Incorrect output folder");
  EXPECT_EQ(CheckConversionRequest(folder / "none.dng", folder.path()).error, "Invalid input file");
  EXPECT_EQ(ConversionJob.outputFolder, "given");
  EXPECT_EQ(ConversionJob.currentFile, "");
  EXPECT_EQ(ConversionJob.outputExtension, "");
}
