#include "cli/IniFile.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFileTest, LinesGroupsCommentsAndTrimming) {
  IniFile file = ParseIniText(
      "orphan = 1\r\n"
      "[First]\r"
      "  \tkey one \t=  value with = sign \t\n"
      "; a comment\r\n"
      "  ;indented comment\n"
      "\n"
      "flag\n"
      "=no key\n"
      "[Second] trailing text\n"
      "k=\n"
      "[unterminated\n"
      "x=y");
  ASSERT_EQ(file.groups.size(), 3u);
  EXPECT_EQ(file.groups[0].name, "First");
  ASSERT_EQ(file.groups[0].entries.size(), 2u);
  EXPECT_EQ(file.groups[0].entries[0].key, "key one");
  EXPECT_EQ(file.groups[0].entries[0].value, "value with = sign");
  EXPECT_EQ(file.groups[0].entries[1].key, "flag");
  EXPECT_EQ(file.groups[0].entries[1].value, "");
  EXPECT_EQ(file.groups[1].name, "Second");
  ASSERT_EQ(file.groups[1].entries.size(), 1u);
  EXPECT_EQ(file.groups[1].entries[0].value, "");
  EXPECT_EQ(file.groups[2].name, "unterminated");
  EXPECT_EQ(file.groups[2].entries.at(0).value, "y");
}

TEST(IniFileTest, EveryLineBreakStyleEndsALine) {
  for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
    std::string text = std::string("[G]") + lineBreak + "a=1" + lineBreak + lineBreak + "b=2" + lineBreak;
    IniFile file = ParseIniText(text);
    ASSERT_EQ(file.groups.size(), 1u);
    ASSERT_EQ(file.groups[0].entries.size(), 2u) << "line break " << int(lineBreak[0]);
    EXPECT_EQ(file.groups[0].entries[1].value, "2");
  }
}

}  // namespace
