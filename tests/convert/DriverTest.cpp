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

TEST(DriverOutputFolderTest, RelativeFoldersAreTakenFromTheCurrentDirectory) {
  const std::string here = "/home/ann/photos/";
  const std::pair<std::string, std::string> cases[] = {
      {"", here},  // an input named without a folder
      {"jpeg", here + "jpeg/"},
      {"./jpeg", here + "jpeg/"},
      {".\\jpeg", here + "jpeg/"},
      {".", here},
      {"./", here},
      {"shots/", here + "shots/"},
      {"../raw/", here + "../raw/"},  // only a given -o is refused for its ".."
      {"/srv/out", "/srv/out/"},
      {"/srv/out/", "/srv/out/"},
      {"/srv/out\\", "/srv/out/"},  // the folder that is checked is the one the JPEG goes into
      {"/", "/"},
  };
  for (const auto& [folder, expected] : cases) EXPECT_EQ(AbsoluteFolder(folder, here), expected) << folder;
  EXPECT_EQ(AbsoluteFolder("", ""), "") << "without a current directory nothing is chosen for it";
  EXPECT_EQ(AbsoluteFolder("/srv/out", ""), "/srv/out/");
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
