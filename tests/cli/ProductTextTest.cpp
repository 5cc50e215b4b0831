#include "cli/ProductText.h"

#include <gtest/gtest.h>

#include "formats/FormatTables.h"

TEST(ProductTextTest, VersionText) {
  const std::pair<int32_t, std::string> cases[] = {
      {320, "3.2"}, {321, "3.2.1"}, {300, "3.0"}, {109, "1.0.9"}, {4, "4"}, {45, "4.5"},
  };
  for (const auto& [number, text] : cases) EXPECT_EQ(VersionText(number), text) << number;
  EXPECT_EQ(ProductTitle(kProductName, programVersion), "Quillmark 3.2");
}

TEST(ProductTextTest, BannerHasTitleNoticeAddressAndASpaceLine) {
  std::vector<std::string> banner = BannerLines();
  ASSERT_EQ(banner.size(), 4u);
  EXPECT_EQ(banner[0], "Quillmark 3.2");
  EXPECT_NE(banner[1].find("(c)"), std::string::npos);
  EXPECT_EQ(banner[1].find("©"), std::string::npos);
  EXPECT_EQ(banner[2].rfind("https://", 0), 0u);
  EXPECT_EQ(banner[3], " ");
}

TEST(ProductTextTest, HelpPicksAnAcceptedFormatForEveryExampleLine) {
  AcceptedInputFormats = {"raw", "dng", "nef"};
  std::vector<std::string> help = HelpTextLines();
  ASSERT_EQ(help.size(), 39u);
  for (const std::string& line : help) EXPECT_EQ(line.find("%s"), std::string::npos) << line;
  for (size_t i = 3; i <= 6; ++i) {
    size_t dot = help[i].find("example.") + 8;
    std::string format = help[i].substr(dot, 3);
    EXPECT_TRUE(format == "raw" || format == "dng" || format == "nef") << help[i];
  }
}
