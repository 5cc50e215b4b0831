#include "platform/Placeholders.h"

#include <gtest/gtest.h>

TEST(PlaceholdersTest, FillsInOrderIgnoringCase) {
  EXPECT_EQ(FillPlaceholders("Files converted: %s1% of %s2%", "1", "2"), "Files converted: 1 of 2");
  EXPECT_EQ(FillPlaceholders("%S1%/%s1%", "a"), "a/a");
  EXPECT_EQ(FillPlaceholders("%s4%%s3%%s2%%s1%", "1", "2", "3", "4"), "4321");
}

TEST(PlaceholdersTest, EmptyArgumentsLeaveTheirPlaceholder) {
  EXPECT_EQ(FillPlaceholders("%s1% and %s2%", "", "b"), "%s1% and b");
  EXPECT_EQ(FillPlaceholders("", "a"), "");
}

TEST(PlaceholdersTest, LaterPlaceholdersBroughtInAreFilledEarlierOnesNot) {
  // s1 brings in %s2%, which is filled in its turn; s2 brings in %s1%, which stays.
  EXPECT_EQ(FillPlaceholders("[%s1%]", "x%S2%y", "z"), "[xzy]");
  EXPECT_EQ(FillPlaceholders("[%s2%]", "a", "%s1%"), "[%s1%]");
  // A value carrying its own placeholder does not loop.
  EXPECT_EQ(FillPlaceholders("%s1%%s1%", "%s1%"), "%s1%%s1%");
}
