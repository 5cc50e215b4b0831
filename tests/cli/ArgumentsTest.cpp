#include "cli/Arguments.h"

#include <gtest/gtest.h>

namespace {

struct ArgumentCase {
  std::string argument;
  std::string name;
  std::string value;
};

// The name decides which option an argument is; the value is what a "--" option carries.
const ArgumentCase kArgumentCases[] = {
    {"-i", "-I", "-i"},
    {"  -q  ", "-Q", "-q"},
    {"--jpg-quality=90", "--JPG-QUALITY", "90"},
    {"--Jpg-Quality", "--JPG-QUALITY", "--Jpg-Quality"},
    {"  --wm-text= a = b  ", "--WM-TEXT", " a = b"},
    {"--wm-text==x", "--WM-TEXT", "=x"},
    {"--width=", "--WIDTH", ""},
    {"-i=x", "-I=X", "-i=x"},
    {"--=x", "--", "x"},
    {"-", "-", "-"},
    {"photo.raw", "", "photo.raw"},
    {" C:\\My Photos ", "", "C:\\My Photos"},
    {"--wm-text=é", "--WM-TEXT", "é"},
    {"--wm-fönt=x", "--WM-FÖNT", "x"},
    {"", "", ""},
};

TEST(ArgumentsTest, NameAndValueOfEachArgument) {
  for (const ArgumentCase& c : kArgumentCases) {
    CommandLine = {c.argument};
    EXPECT_EQ(ParameterName(0), c.name) << "argument [" << c.argument << "]";
    EXPECT_EQ(ParameterValue(0), c.value) << "argument [" << c.argument << "]";
  }
}

TEST(ArgumentsTest, IndexPastTheEndGivesEmptyText) {
  CommandLine = {"-i"};
  EXPECT_EQ(ParameterName(1), "");
  EXPECT_EQ(ParameterValue(1), "");
}

TEST(ArgumentsTest, ProgramNameIsNotAnArgument) {
  char program[] = "pixquillcmd";
  char first[] = "-v";
  char* argv[] = {program, first, nullptr};
  SetCommandLine(2, argv);
  ASSERT_EQ(CommandLine.size(), 1u);
  EXPECT_EQ(ParameterName(0), "-V");
}

}  // namespace
