#include "settings/MessageCatalogue.h"

#include <gtest/gtest.h>

#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

class MessageCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
};

TEST_F(MessageCatalogueTest, ConsoleTextsAreExact) {
  const std::tuple<const char*, const char*, const char*> entries[] = {
      {"General", "Preparing", "Preparing..."},
      {"General", "Importing", "Importing..."},
      {"General", "Converting", "Converting..."},
      {"Msg", "Import complete", "Import complete, new files added: %s1%"},
      {"Msg", "Empty input files", "No input file(s) found. Please, add valid file(s) and try again!"},
      {"Msg", "Conversion is not complete", "Conversion stopped"},
      {"Msg", "Conversion complete", "Conversion complete"},
      {"Msg", "Files converted", "Files converted: %s1% of %s2%"},
  };
  for (const auto& [group, key, text] : entries) EXPECT_EQ(Translate(key, group), text) << group << "/" << key;
}

TEST_F(MessageCatalogueTest, LookupsIgnoreLetterCase) {
  EXPECT_EQ(Translate("preparing", "general"), "Preparing...");
  EXPECT_EQ(Translate("FILES CONVERTED", "mSG"), "Files converted: %s1% of %s2%");
}

TEST_F(MessageCatalogueTest, KeysThatArePrefixesOfEachOther) {
  EXPECT_EQ(Translate("Convert", "General"), "Convert");
  EXPECT_EQ(Translate("Converting", "General"), "Converting...");
  EXPECT_EQ(Translate("Conver", "General"), kNoStringError);
  EXPECT_EQ(Translate("Convertingx", "General"), kNoStringError);
  EXPECT_EQ(Translate("Conversion complete", "Msg"), "Conversion complete");
  EXPECT_EQ(Translate("Conversion", "Msg"), kNoStringError);
}

TEST_F(MessageCatalogueTest, MissingKeysAndGroups) {
  EXPECT_EQ(Translate("Zebra", "General"), kNoStringError);
  EXPECT_EQ(Translate("", "General"), kNoStringError);
  EXPECT_EQ(Translate("Preparing", "Nowhere"), kNoStringError);
  EXPECT_EQ(Translate("Preparing", "Msg"), kNoStringError);
  EXPECT_EQ(Translate("Preparing", ""), kNoStringError);
}

TEST_F(MessageCatalogueTest, GroupsAreSortedAndIndexedByFirstCharacter) {
  const std::vector<std::string> expectedGroups = {"MENU",  "GENERAL",          "MSG",      "DIALOG", "PREFERENCES",
                                                   "ABOUT", "CUSTOM-CONVERTER", "UNINSTALL"};
  const auto& groups = MessageCatalogue.groups;
  ASSERT_EQ(groups.size(), expectedGroups.size() + 1);
  for (size_t g = 1; g < groups.size(); ++g) {
    EXPECT_EQ(groups[g].name, expectedGroups[g - 1]);
    for (int32_t e = groups[g].firstEntry; e < groups[g].lastEntry; ++e)
      EXPECT_LT(MessageCatalogue.keys[e], MessageCatalogue.keys[e + 1]) << groups[g].name;
    for (size_t c = 0; c < 256; ++c) {
      int32_t first = groups[g].firstCharIndex[c];
      if (first == 0) continue;
      EXPECT_EQ(static_cast<unsigned char>(MessageCatalogue.keys[first][0]), c);
      if (first > groups[g].firstEntry) {
        EXPECT_NE(static_cast<unsigned char>(MessageCatalogue.keys[first - 1][0]), c) << "not the first of its letter";
      }
    }
  }
  EXPECT_EQ(groups[2].firstCharIndex['Z'], 0);
}

TEST_F(MessageCatalogueTest, TheLastGroupIsRemembered) {
  Translate("Preparing", "General");
  EXPECT_EQ(MessageCatalogue.groups[MessageCatalogue.lastGroup].name, "GENERAL");
  EXPECT_EQ(Translate("Conversion complete", "msg"), "Conversion complete");
  EXPECT_EQ(MessageCatalogue.groups[MessageCatalogue.lastGroup].name, "MSG");
  Translate("x", "Nowhere");
  EXPECT_EQ(MessageCatalogue.lastGroup, 0);
}

TEST_F(MessageCatalogueTest, LanguageFileReplacesTextsKeyByKey) {
  TempFolder folder;
  const std::string language = folder / "deutsch.lng";
  // Only the first line of a key in the first group of a name counts.
  WriteText(language,
            "[general]\npreparing = Vorbereitung...\nPREPARING = zweite\nUnknown = x\n[MSG]\n"
            "Files Converted = %s1% von %s2%\n[General]\nImporting = Einlesen...\n");
  ASSERT_TRUE(LoadMessageCatalogue(language));
  EXPECT_EQ(Translate("Preparing", "General"), "Vorbereitung...");
  EXPECT_EQ(Translate("Files converted", "Msg"), "%s1% von %s2%");
  EXPECT_EQ(Translate("Importing", "General"), "Importing...");
  EXPECT_EQ(Translate("Unknown", "General"), kNoStringError) << "a language file adds no keys";

  ASSERT_TRUE(LoadMessageCatalogue(folder / "missing.lng"));
  EXPECT_EQ(Translate("Preparing", "General"), "Preparing...");
}

}  // namespace
