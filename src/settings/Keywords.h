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

// The codes of each kind, named once; the tables in Keywords.cpp spell them as words. Fields
// of the settings record hold these numbers, so the enums convert to them implicitly.
// clang-format off
enum DdsLoadAsCode : int32_t { kDdsAuto = 0, kDdsBgra = 1, kDdsRgba = 2 };
enum RawLoadAsCode : int32_t {
  kLoadAsAuto = 0,
  kLoadAs8BitPixels = 1,   // headerless 8-bit grey
  kLoadAs16BitPixels = 2,  // headerless 16-bit RGB 5-6-5
  kLoadAs24 = 3,
  kLoadAs48HalfSize = 4,
  kLoadAs48 = 5,
};
enum FrameLoadingCode : int32_t {
  kLoadAllFrames = 0, kLoadFirstFrame = 1, kLoadMiddleFrame = 2, kLoadLastFrame = 3, kLoadRandomFrame = 4 };
enum ToneMappingCode : int32_t {
  kToneMapNone = 0, kToneMapLinear = 1, kToneMapAl = 2, kToneMapDrr = 3, kToneMapGd = 4 };
// Compression codes restart for each format family.
enum CompressionCode : int32_t {
  kCompressionNone = 0,
  kCompressionRle = 1,  // BMP and TGA
  kExrZip = 1, kExrPiz = 2, kExrPxr24 = 3, kExrB44 = 4,
  kPngZlib1 = 1, kPngZlib6 = 2, kPngZlib9 = 3,
  kTiffCcittFax3 = 1, kTiffCcittFax4 = 2, kTiffPackBits = 3, kTiffDeflate = 4, kTiffAdobeDeflate = 5,
  kTiffLzw = 6, kTiffJpeg = 7, kTiffLogLuv = 8,
};
enum ColorTableCode : int32_t { kColorTableAuto = 0, kColorTableExact = 1 };
enum ColorModeCode : int32_t { kColorModeRgb = 0, kColorModeCmyk = 1, kColorModeLab = 2 };
enum JpegChromaCode : int32_t { kChromaNone = 0, kChromaLow = 1, kChromaMedium = 2, kChromaHigh = 3 };
enum JpegSaveAsCode : int32_t { kJpegStandard = 0, kJpegSimple = 1, kJpegOptimized = 2, kJpegProgressive = 3 };
enum RotationTypeCode : int8_t { kRotateSimple = 0, kRotateAdvanced = 1 };
enum SizeUnitCode : int8_t { kUnitPixels = 0, kUnitPercent = 1 };
enum ResizeTypeCode : int8_t { kResizeAllImages = 0, kResizeLargeImages = 1 };
enum ResizeAlgorithmCode : int8_t {
  kResizeBox = 0, kResizeBilinear = 1, kResizeBspline = 2, kResizeBicubic = 3, kResizeCatmullRom = 4,
  kResizeLanczos = 5 };
enum DitherAlgorithmCode : int8_t {
  kDitherFs = 0, kDitherBayer4 = 1, kDitherBayer8 = 2, kDitherBayer16 = 3, kDitherCluster6 = 4,
  kDitherCluster8 = 5, kDitherCluster16 = 6 };
enum FrameTypeCode : int8_t { kFrameNone = 0, kFrameSolid = 1 };
enum WatermarkTypeCode : int8_t { kWatermarkNone = 0, kWatermarkText = 1, kWatermarkImage = 2 };
enum FontStyleCode : int8_t { kStyleRegular = 0, kStyleBold = 1, kStyleItalic = 2, kStyleBoldItalic = 3 };
enum FontEffectCode : int8_t { kEffectNone = 0, kEffectUnderline = 1, kEffectStrikeOut = 2 };
enum TextAlignmentCode : int8_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };
enum WatermarkBoundaryCode : int8_t { kBoundaryImage = 0, kBoundaryFrame = 1 };
// In reading order, from the top left; the placement indexes its anchors by the code.
enum WatermarkPositionCode : int8_t {
  kTopLeft = 0, kTopCenter = 1, kTopRight = 2,
  kMiddleLeft = 3, kMiddleCenter = 4, kMiddleRight = 5,
  kBottomLeft = 6, kBottomCenter = 7, kBottomRight = 8,
};
enum WatermarkSizeCode : int8_t { kSizeFixed = 0 };
enum FileTimestampCode : int8_t { kTimestampCurrent = 0, kTimestampOriginal = 1, kTimestampCustom = 2 };
// clang-format on

// The table of kind `kind`; an empty kind for numbers outside 0..22.
const KeywordKind& KeywordKindTable(int kind);

// Upper-cases `value` and returns the code of the first equal keyword of `kind`. Unknown
// words, empty text and kinds without a forward table give 0. No trimming is done here.
int32_t KeywordToCode(std::string_view value, int kind);

// The first keyword of `kind` whose code is `code`, in lower case; empty when there is none.
std::string CodeToKeyword(int kind, int32_t code);
