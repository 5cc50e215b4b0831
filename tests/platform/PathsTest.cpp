#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/Files.h"

TEST(PathsTest, FolderPart) {
  EXPECT_EQ(FolderPart("c:\\pics\\a.raw"), "c:\\pics\\");
  EXPECT_EQ(FolderPart("a.raw"), "");
  EXPECT_EQ(FolderPart("c:/pics/a.raw"), "c:/pics/");
  EXPECT_EQ(FolderPart("/home/me/a.raw"), "/home/me/");
  EXPECT_EQ(FolderPart("\"/home/me/a.raw\""), "/home/me/");
  EXPECT_EQ(FolderPart("/home/me|/x/a.raw"), "/home/");
  EXPECT_EQ(FolderPart(""), "");
}

TEST(PathsTest, SubfolderOfRemovesTheBaseFolder) {
  EXPECT_EQ(SubfolderOf("/in/2021/june/a.dng", "/in/"), "2021/june/");
  EXPECT_EQ(SubfolderOf("/in/2021/a.dng", "/other/"), "");
  EXPECT_EQ(SubfolderOf("/in/2021/a.dng", ""), "");
  EXPECT_EQ(SubfolderOf("", "/in/"), "");
  EXPECT_EQ(SubfolderOf("/in/x/in/a.dng", "in/"), "/x/") << "every occurrence, case-sensitive";
  EXPECT_EQ(SubfolderOf("/IN/a.dng", "/in/"), "");
}

TEST(PathsTest, RelativeFoldersAreTakenFromTheCurrentDirectory) {
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

TEST(PathsTest, AbsolutePathsFromTheCurrentFolder) {
  EXPECT_EQ(AbsolutePath("/a//b/./c/../d.dng"), "/a/b/d.dng");
  EXPECT_EQ(AbsolutePath("x/../y.dng"), CurrentFolder() + "y.dng");
}
