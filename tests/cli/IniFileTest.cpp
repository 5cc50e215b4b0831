#include "cli/IniFile.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Group {
  std::string name;
  std::vector<IniEntry> entries;
};

// Scans the bytes in pieces of `pieceBytes` (0: all at once) and gathers what the
// handlers are given.
std::vector<Group> Scan(std::string_view bytes, size_t pieceBytes = 0) {
  std::vector<Group> groups;
  IniHandlers handlers{[&](const std::string& name) { groups.push_back({name, {}}); },
                       [&](const IniEntry& entry) { groups.back().entries.push_back(entry); }};
  IniScan scan;
  if (pieceBytes == 0) pieceBytes = bytes.size() + 1;
  for (size_t pos = 0; pos < bytes.size(); pos += pieceBytes) ScanIniBytes(scan, bytes.substr(pos, pieceBytes), handlers);
  EndIniBytes(scan, handlers);
  return groups;
}

// A line break, or the byte-order mark, split between two reads must read as one.
constexpr size_t kPieceSizes[] = {0, 1, 2, 3, 7};

TEST(IniFileTest, LinesGroupsCommentsAndTrimming) {
  for (size_t piece : kPieceSizes) {
    std::vector<Group> groups = Scan(
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
        "x=y",
        piece);
    ASSERT_EQ(groups.size(), 3u) << "pieces of " << piece;
    EXPECT_EQ(groups[0].name, "First");
    ASSERT_EQ(groups[0].entries.size(), 2u) << "pieces of " << piece;
    EXPECT_EQ(groups[0].entries[0].key, "key one");
    EXPECT_EQ(groups[0].entries[0].value, "value with = sign");
    EXPECT_EQ(groups[0].entries[1].key, "flag");
    EXPECT_EQ(groups[0].entries[1].value, "");
    EXPECT_EQ(groups[1].name, "Second");
    ASSERT_EQ(groups[1].entries.size(), 1u);
    EXPECT_EQ(groups[1].entries[0].value, "");
    EXPECT_EQ(groups[2].name, "unterminated");
    EXPECT_EQ(groups[2].entries.at(0).value, "y") << "pieces of " << piece;
  }
}

TEST(IniFileTest, EveryLineBreakStyleEndsALine) {
  for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
    for (size_t piece : kPieceSizes) {
      std::string text = std::string("[G]") + lineBreak + "a=1" + lineBreak + lineBreak + "b=2" + lineBreak;
      std::vector<Group> groups = Scan(text, piece);
      ASSERT_EQ(groups.size(), 1u);
      ASSERT_EQ(groups[0].entries.size(), 2u) << "line break " << int(lineBreak[0]) << ", pieces of " << piece;
      EXPECT_EQ(groups[0].entries[1].value, "2");
    }
  }
}

TEST(IniFileTest, ByteOrderMarkSplitBetweenReadsStillChoosesUtf8) {
  for (size_t piece : kPieceSizes)
    EXPECT_EQ(Scan("\xEF\xBB\xBF[G]\nk=caf\xC3\xA9\n", piece).at(0).entries.at(0).value, "caf\xC3\xA9") << piece;
}

TEST(IniFileTest, OverLongKeyLinesAreSkippedGroupLinesAreNot) {
  const std::string longest = "k=" + std::string(kMaxIniLineBytes - 2, 'v');
  const std::string tooLong = longest + "v";
  std::vector<Group> groups =
      Scan("[A]\n" + longest + "\n" + tooLong + "\r\nafter=1\n[B]" + std::string(kMaxIniLineBytes, ' ') + "\nb=2\n" +
           tooLong, 4096);
  ASSERT_EQ(groups.size(), 2u);
  ASSERT_EQ(groups[0].entries.size(), 2u);
  EXPECT_EQ(groups[0].entries[0].value.size(), kMaxIniLineBytes - 2);
  EXPECT_EQ(groups[0].entries[1].key, "after") << "the line after a skipped one is read whole";
  EXPECT_EQ(groups[1].name, "B") << "the keys after an over-long group line stay in that group";
  ASSERT_EQ(groups[1].entries.size(), 1u) << "an over-long last line without a break is skipped too";
  EXPECT_EQ(groups[1].entries[0].value, "2");
}

}  // namespace
