#include "platform/Text.h"

#include <gtest/gtest.h>

TEST(TextTest, CaseMappingIsUnicodeAware) {
  EXPECT_EQ(ToUpper("photo é.cr2"), "PHOTO É.CR2");
  EXPECT_EQ(ToLower("IMG_ÉTÉ.NEF"), "img_été.nef");
  EXPECT_EQ(ToTitle("jPG"), "Jpg");
  EXPECT_EQ(ToTitle("éCOLE"), "École");
  EXPECT_EQ(ToUpper(std::string("a\xff"
                                "b")),
            std::string("A\xff"
                        "B"))
      << "invalid bytes are kept";
  // F8 starts no sequence: read as a three-byte lead it became U+8000 (E8 80 80).
  EXPECT_EQ(ToLower(std::string("\xf8\x80\x80")), std::string("\xf8\x80\x80"));
  EXPECT_EQ(ToLower(""), "");
}

TEST(TextTest, TrimmingAndCaseFreeReplacement) {
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
  EXPECT_EQ(TrimBlanks(" \t a b \t "), "a b");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(ReplaceAllNoCase("x%S1%y%s1%", "%s1%", "%s1%%s1%"), "x%s1%%s1%y%s1%%s1%");
  EXPECT_EQ(ReplaceAllNoCase("aaa", "aa", "b"), "ba");
  EXPECT_EQ(FindNoCase("abcABC", "C", 3), 5u);
  EXPECT_EQ(Latin1ToUtf8("\xe9"), "é");
}

TEST(TextTest, SplitAtKeepsEmptyFieldsAndStopsAtTheLimit) {
  using Fields = std::vector<std::string>;
  EXPECT_EQ(SplitAt("", ","), Fields{""});
  EXPECT_EQ(SplitAt("a,,b,", ","), (Fields{"a", "", "b", ""}));
  EXPECT_EQ(SplitAt("a%eol%b%eol", "%eol%"), (Fields{"a", "b%eol"}));
  EXPECT_EQ(SplitAt("a\tb\tc\td", "\t", 3), (Fields{"a", "b", "c\td"}));
  EXPECT_EQ(SplitAt("a\tb", "\t", 1), Fields{"a\tb"});
}
