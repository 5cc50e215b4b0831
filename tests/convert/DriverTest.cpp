#include "convert/Driver.h"

#include <gtest/gtest.h>

#include "convert/ConversionJob.h"
#include "support/TestFiles.h"

TEST(DriverImportTest, SubfolderOfRemovesTheBaseFolder) {
  EXPECT_EQ(SubfolderOf("/in/2021/june/a.dng", "/in/"), "2021/june/");
  EXPECT_EQ(SubfolderOf("/in/2021/a.dng", "/other/"), "");
  EXPECT_EQ(SubfolderOf("/in/2021/a.dng", ""), "");
  EXPECT_EQ(SubfolderOf("", "/in/"), "");
  EXPECT_EQ(SubfolderOf("/in/x/in/a.dng", "in/"), "/x/") << "every occurrence, case-sensitive";
  EXPECT_EQ(SubfolderOf("/IN/a.dng", "/in/"), "");
}

TEST(DriverImportTest, AddJobFileKeepsOneAcceptedFile) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  ResetConversionJob();
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
