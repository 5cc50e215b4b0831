#include "packaging/Reference.h"

#include <gtest/gtest.h>

#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "support/ProgramState.h"

namespace {

const OptionRow& Row(std::string_view name) {
  const OptionRow* row = FindCommandLineOption(name);
  if (!row) row = FindProfileKey(name);
  EXPECT_NE(row, nullptr) << name;
  return *row;
}

class ReferenceTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
};

TEST_F(ReferenceTest, DefaultsAndWordsComeFromTheSettingsAndKeywordTables) {
  EXPECT_EQ(OptionDefault(Row("--RESIZE-ALGORITHM")), "BICUBIC");
  EXPECT_EQ(OptionDefault(Row("--WM-TEXT-POSITION")), "BOTTOMRIGHT");
  EXPECT_EQ(OptionDefault(Row("--JPG-QUALITY")), "95");
  EXPECT_EQ(OptionDefault(Row("--GAMMA")), "1");
  EXPECT_EQ(OptionDefault(Row("--WM-FONT")), "Arial");
  EXPECT_EQ(OptionDefault(Row("-C")), "jpg");
  EXPECT_EQ(OptionDefault(Row("--FLIP-VERTICAL")), "off");
  EXPECT_EQ(OptionDefault(Row("--NO-SUBFOLDERS")), "off") << "the flag stores 0 into a field that starts at 1";
  EXPECT_EQ(OptionDefault(Row("-I")), "");
  EXPECT_EQ(OptionWords(Row("--RAW-LOAD-AS")), (std::vector<std::string>{"AUTO", "8", "16", "24", "48HS", "48"}));
  EXPECT_EQ(OptionWords(Row("-C")), (std::vector<std::string>{"jpg"}));
  EXPECT_TRUE(OptionWords(Row("--WIDTH")).empty());
  EXPECT_TRUE(NoteProblems().empty()) << NoteProblems().front();
}

TEST_F(ReferenceTest, RoffTextCannotStartARequestOrAHelp2manMarker) {
  EXPECT_EQ(RoffText("--width=800"), "\\-\\-width=800");
  EXPECT_EQ(RoffText("c:\\tmp"), "c:\\etmp");
  EXPECT_EQ(RoffText(".hidden"), "\\&.hidden");
  EXPECT_EQ(RoffText("'quoted'"), "\\&'quoted'");
  EXPECT_EQ(RoffText("[CLI]"), "\\&[CLI]");
  EXPECT_EQ(RoffText("/usr/"), "\\&/usr/");
  EXPECT_EQ(RoffText("a.b [c]"), "a.b [c]");
}

TEST_F(ReferenceTest, ManualIncludeFillsEveryMarkerAndKeepsOtherLines) {
  const std::string include = ManualInclude(
      "[EXAMPLE]\n.\\\" generated: profile-example\n[OPTIONS X]\n"
      ".\\\" generated: options\n",
      "[CLI]\n--width = 800\n");
  EXPECT_EQ(include.find(".\\\" generated"), std::string::npos);
  EXPECT_NE(include.find("[EXAMPLE]\n.PP\n.RS\n.nf\n\\&[CLI]\n\\-\\-width = 800\n.fi\n"), std::string::npos);
  EXPECT_NE(include.find(".TP\n\\fB\\-i\\fR \\fIFILE\\fR, \\fB\\-\\-input\\fR=\\fIFILE\\fR\n"), std::string::npos);
  EXPECT_NE(include.find("\\fB\\-\\-resize\\-algorithm\\fR=\\fIWORD\\fR\n"), std::string::npos);
  EXPECT_NE(include.find("WORD: BOX, BILINEAR, BSPLINE, BICUBIC, CATMULLROM, LANCZOS.\nDefault: BICUBIC.\n"),
            std::string::npos);
  EXPECT_NE(include.find("\\fB\\-\\-wm\\-solid\\-opacity\\fR=\\fINUM\\fR\n"), std::string::npos);
  EXPECT_EQ(ManualInclude(".\\\" generated: nothing-of-that-name\n", ""), "");
  // The extensions follow the format table, so a widened table reaches the page.
  AcceptedInputExtensions = {"cr2", "cr3"};
  EXPECT_EQ(ManualInclude(".\\\" generated: input-extensions\n", ""), "\\&.cr2, .cr3.\n");
}

}  // namespace
