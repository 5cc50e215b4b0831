#include "settings/Keywords.h"

#include <gtest/gtest.h>

#include <set>

TEST(KeywordsTest, EveryKindHasUniqueWordsAndEveryWordRoundTrips) {
  for (int kind = 0; kind < kKeywordKindCount; ++kind) {
    const KeywordKind& table = KeywordKindTable(kind);
    ASSERT_FALSE(table.keywords.empty()) << table.name;
    EXPECT_EQ(table.keywords.front().code, 0) << table.name << ": code 0 is the fallback word";
    std::set<std::string_view> words;
    for (const OptionKeyword& keyword : table.keywords) {
      EXPECT_TRUE(words.insert(keyword.word).second) << table.name << " repeats " << keyword.word;
      if (!table.forward) continue;
      int32_t code = KeywordToCode(keyword.word, kind);
      EXPECT_EQ(code, keyword.code) << keyword.word;
      // Kind 4 shares codes between formats: the reverse gives the first word of the code.
      EXPECT_EQ(KeywordToCode(CodeToKeyword(kind, code), kind), code) << keyword.word;
    }
  }
}

TEST(KeywordsTest, LetterCaseIsFreeButSpacesAndNumbersAreWords) {
  EXPECT_EQ(KeywordToCode("bgra", kDdsLoadAs), kDdsBgra);
  EXPECT_EQ(KeywordToCode("Bgra", kDdsLoadAs), kDdsBgra);
  EXPECT_EQ(KeywordToCode("BGRA", kDdsLoadAs), kDdsBgra);
  EXPECT_EQ(KeywordToCode("BOTTOM RIGHT", kWatermarkPosition), 0);
  EXPECT_EQ(KeywordToCode(" BGRA", kDdsLoadAs), 0) << "callers trim, not KeywordToCode";
  EXPECT_EQ(KeywordToCode("48hs", kRawLoadAs), kLoadAs48HalfSize);
  EXPECT_EQ(KeywordToCode("48", kRawLoadAs), kLoadAs48);
  EXPECT_EQ(KeywordToCode("08", kRawLoadAs), 0);
  EXPECT_EQ(KeywordToCode("8.0", kRawLoadAs), 0);
  EXPECT_EQ(KeywordToCode("strikethrought", kFontEffect), kEffectStrikeOut);
  EXPECT_EQ(KeywordToCode("LANCZOZ", kResizeAlgorithm), 0);
  EXPECT_EQ(KeywordToCode("", kResizeAlgorithm), 0);
}

TEST(KeywordsTest, CompressionCodesAreSharedAndReportTheFirstWord) {
  for (const char* word : {"ZIP", "RLE", "ZLIB1", "CCITTFAX3"})
    EXPECT_EQ(KeywordToCode(word, kCompression), kCompressionRle);
  const char* reverse[] = {"none", "rle", "piz", "pxr24", "b44", "adobedeflate", "lzw", "jpeg", "logluv"};
  for (int code = 0; code < 9; ++code) EXPECT_EQ(CodeToKeyword(kCompression, code), reverse[code]);
  EXPECT_EQ(CodeToKeyword(kCompression, KeywordToCode("ZLIB6", kCompression)), "piz");
}

TEST(KeywordsTest, ReportOnlyKindsAndUnknownKinds) {
  EXPECT_EQ(CodeToKeyword(kFrameType, kFrameSolid), "solid");
  EXPECT_EQ(KeywordToCode("SOLID", kFrameType), 0);
  EXPECT_EQ(CodeToKeyword(kWatermarkType, kWatermarkImage), "image");
  EXPECT_EQ(KeywordToCode("IMAGE", kWatermarkType), 0);
  EXPECT_EQ(KeywordToCode("FIXED", kWatermarkSize), 0);
  EXPECT_EQ(KeywordToCode("SCALED", kWatermarkSize), 0);
  EXPECT_EQ(KeywordToCode("AUTO", 23), 0);
  EXPECT_EQ(KeywordToCode("AUTO", -1), 0);
  EXPECT_EQ(CodeToKeyword(23, 0), "");
  EXPECT_EQ(CodeToKeyword(kWatermarkPosition, 9), "");
  EXPECT_EQ(CodeToKeyword(kWatermarkPosition, kBottomRight), "bottomright");
}
