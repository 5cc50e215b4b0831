#pragma once
// Option keywords: words accepted as option values, each kind a small ordered table that
// maps upper-case words to the numeric codes stored in the settings.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct OptionKeyword {
  std::string_view word;  // upper case, spelled exactly as users type it
  int32_t code;
};

struct KeywordKind {
  std::string_view name;
  std::span<const OptionKeyword> keywords;
  bool forward;  // false: the kind exists only for reporting codes back as words
};

inline constexpr int kKeywordKindCount = 23;

// Kind numbers, fixed: the option table and the debug report name kinds by number.
enum KeywordKindNumber : int {
  kDdsLoadAs = 0,
  kRawLoadAs = 1,
  kFrameLoading = 2,
  kToneMapping = 3,
  kCompression = 4,
  kColorTable = 5,
  kColorMode = 6,
  kJpegChroma = 7,
  kJpegSaveAs = 8,
  kRotationType = 9,
  kSizeUnit = 10,
  kResizeType = 11,
  kResizeAlgorithm = 12,
  kDitherAlgorithm = 13,
  kFrameType = 14,
  kWatermarkType = 15,
  kFontStyle = 16,
  kFontEffect = 17,
  kTextAlignment = 18,
  kWatermarkBoundary = 19,
  kWatermarkPosition = 20,
  kWatermarkSize = 21,
  kFileTimestamp = 22,
};

// The table of kind `kind`; an empty kind for numbers outside 0..22.
const KeywordKind& KeywordKindTable(int kind);

// Upper-cases `value` and returns the code of the first equal keyword of `kind`. Unknown
// words, empty text and kinds without a forward table give 0. No trimming is done here.
int32_t KeywordToCode(std::string_view value, int kind);

// The first keyword of `kind` whose code is `code`, in lower case; empty when there is none.
std::string CodeToKeyword(int kind, int32_t code);
