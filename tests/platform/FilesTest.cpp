#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/Clock.h"
#include "platform/Folders.h"

namespace {
std::string TempDir() {
  char pattern[] = "/tmp/pixquill-files-XXXXXX";
  return std::string(mkdtemp(pattern));
}
}  // namespace

TEST(FilesTest, FileSizeMeanings) {
  std::string dir = TempDir();
  std::string file = dir + "/a.raw";
  std::ofstream(file) << "12345";
  EXPECT_EQ(FileSize(file), 5);
  EXPECT_EQ(FileSize(dir), -2);
  EXPECT_EQ(FileSize(dir + "/"), -2);
  EXPECT_EQ(FileSize(dir + "\\"), -2);
  EXPECT_EQ(FileSize("/"), -2);
  EXPECT_EQ(FileSize(dir + "/missing"), -1);
  EXPECT_EQ(FileSize(""), -1);
  std::ofstream(dir + "/empty.raw");
  EXPECT_EQ(FileSize(dir + "/empty.raw"), 0);
}

TEST(FilesTest, ProgramPathIsThisExecutable) {
  std::string path = ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_GT(FileSize(path), 0);
  EXPECT_EQ(ProgramName(), "pixquill_tests");
}

TEST(FilesTest, LocalModificationTimeRoundTripsInSeveralZones) {
  std::string file = TempDir() + "/t.jpg";
  std::ofstream(file) << "x";
  const char* saved = std::getenv("TZ");
  std::string savedZone = saved ? saved : "";
  for (const char* zone : {"UTC0", "America/New_York", "Asia/Kolkata"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (int64_t local : {int64_t{0}, int64_t{1700000000}, int64_t{1720000000}}) {
      ASSERT_TRUE(SetLocalModificationTime(file, local)) << zone;
      EXPECT_EQ(ReadLocalModificationTime(file), local) << zone;
    }
  }
  if (saved)
    setenv("TZ", savedZone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(FilesTest, SameFileDespiteSpelling) {
  std::string dir = TempDir();
  std::ofstream(dir + "/a.jpg") << "x";
  EXPECT_TRUE(IsSameFile(dir + "/a.jpg", dir + "/./a.jpg"));
  EXPECT_FALSE(IsSameFile(dir + "/a.jpg", dir + "/b.jpg"));
}

TEST(FilesTest, FilesBelowFollowsLinksToFilesButNeverLoopsOrEntersHiddenNames) {
  std::string dir = TempDir();
  mkdir((dir + "/sub").c_str(), 0755);
  std::ofstream(dir + "/sub/a.dng") << "x";
  ASSERT_EQ(symlink((dir + "/sub/a.dng").c_str(), (dir + "/link.dng").c_str()), 0);
  ASSERT_EQ(symlink(dir.c_str(), (dir + "/sub/loop").c_str()), 0);
  std::ofstream(dir + "/sub/._a.dng") << "x";
  mkdir((dir + "/.Trashes").c_str(), 0755);
  std::ofstream(dir + "/.Trashes/b.dng") << "x";
  std::vector<std::string> files = FilesBelow(dir);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{dir + "/link.dng", dir + "/sub/a.dng"}));
  EXPECT_TRUE(FilesBelow(dir + "/missing").empty());
}

TEST(FilesTest, FolderLinksAreFollowedOnceAndTheRealPathWins) {
  std::string dir = TempDir(), outside = TempDir();
  mkdir((dir + "/real").c_str(), 0755);
  std::ofstream(dir + "/real/a.dng") << "x";
  std::ofstream(outside + "/b.dng") << "x";
  ASSERT_EQ(symlink((dir + "/real").c_str(), (dir + "/alias").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (dir + "/elsewhere").c_str()), 0);
  ASSERT_EQ(symlink((dir + "/..").c_str(), (dir + "/real/up").c_str()), 0);
  FolderWalk walk = WalkFolder(dir);
  std::sort(walk.files.begin(), walk.files.end());
  EXPECT_EQ(walk.files, (std::vector<std::string>{dir + "/elsewhere/b.dng", dir + "/real/a.dng"}));
  EXPECT_TRUE(walk.unreadable.empty());
}
