#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Group {
  std::string name;
  std::vector<IniEntry> entries;
};
struct Scanned {
  std::vector<Group> groups;
};

Scanned ScanInPieces(std::string_view bytes, size_t pieceBytes) {
  Scanned file;
  IniHandlers handlers{[&](const std::string& name) {
                         file.groups.push_back({name, {}});
                       },
                       [&](const IniEntry& entry) { file.groups.back().entries.push_back(entry); }};
  IniScan scan;
  for (size_t pos = 0; pos < bytes.size(); pos += pieceBytes)
    ScanIniBytes(scan, bytes.substr(pos, pieceBytes), handlers);
  EndIniBytes(scan, handlers);
  return file;
}

std::string Flattened(const Scanned& file) {
  std::string text;
  for (const Group& group : file.groups) {
    text += "[" + group.name + "]\n";
    for (const IniEntry& entry : group.entries) text += entry.key + "=" + entry.value + "\n";
  }
  return text;
}

// Scans the bytes whole and a byte at a time, which must read alike: a line, or a CR LF,
// split between two reads is read as if it were not.
Scanned Scan(std::string_view bytes) {
  Scanned whole = ScanInPieces(bytes, bytes.size() + 1);
  EXPECT_EQ(Flattened(ScanInPieces(bytes, 1)), Flattened(whole));
  return whole;
}

TEST(IniFileTest, LinesGroupsCommentsAndTrimming) {
  Scanned file = Scan(
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
    Scanned file = Scan(text);
    ASSERT_EQ(file.groups.size(), 1u);
    ASSERT_EQ(file.groups[0].entries.size(), 2u) << "line break " << int(lineBreak[0]);
    EXPECT_EQ(file.groups[0].entries[1].value, "2");
  }
}

TEST(IniFileTest, OverLongKeyLinesAreSkippedGroupLinesAreNot) {
  const std::string longest = "k=" + std::string(kMaxIniLineBytes - 2, 'v');
  const std::string tooLong = longest + "v";
  Scanned file = Scan("[A]\n" + longest + "\n" + tooLong + "\r\nafter=1\n[B]" + std::string(kMaxIniLineBytes, ' ') +
                      "\nb=2\n" + tooLong);
  ASSERT_EQ(file.groups.size(), 2u);
  ASSERT_EQ(file.groups[0].entries.size(), 2u);
  EXPECT_EQ(file.groups[0].entries[0].value.size(), kMaxIniLineBytes - 2);
  EXPECT_EQ(file.groups[0].entries[1].key, "after") << "the line after a skipped one is read whole";
  EXPECT_EQ(file.groups[1].name, "B") << "the keys after an over-long group line stay in that group";
  ASSERT_EQ(file.groups[1].entries.size(), 1u) << "an over-long last line without a break is skipped too";
}

}  // namespace
