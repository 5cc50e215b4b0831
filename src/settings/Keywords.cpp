#include "settings/Keywords.h"

#include <array>

#include "platform/Text.h"

namespace {

// clang-format off
constexpr OptionKeyword DdsLoadAsKeywords[] = {{"AUTO", kDdsAuto}, {"BGRA", kDdsBgra}, {"RGBA", kDdsRgba}};
constexpr OptionKeyword RawLoadAsKeywords[] = {
    {"AUTO", kLoadAsAuto}, {"8", kLoadAs8BitPixels}, {"16", kLoadAs16BitPixels},
    {"24", kLoadAs24},     {"48HS", kLoadAs48HalfSize}, {"48", kLoadAs48}};
constexpr OptionKeyword FrameLoadingKeywords[] = {
    {"ALL", kLoadAllFrames}, {"FIRST", kLoadFirstFrame}, {"MIDDLE", kLoadMiddleFrame},
    {"LAST", kLoadLastFrame}, {"RANDOM", kLoadRandomFrame}};
constexpr OptionKeyword ToneMappingKeywords[] = {
    {"NONE", kToneMapNone}, {"LINEAR", kToneMapLinear}, {"AL", kToneMapAl}, {"DRR", kToneMapDrr},
    {"GD", kToneMapGd}};
// Codes restart for each format family; the saving step reads a code for its own format.
constexpr OptionKeyword CompressionKeywords[] = {
    {"NONE", kCompressionNone},     {"RLE", kCompressionRle},
    {"ZIP", kExrZip},               {"PIZ", kExrPiz},           {"PXR24", kExrPxr24},
    {"B44", kExrB44},               {"ZLIB1", kPngZlib1},       {"ZLIB6", kPngZlib6},
    {"ZLIB9", kPngZlib9},           {"CCITTFAX3", kTiffCcittFax3}, {"CCITTFAX4", kTiffCcittFax4},
    {"PACKBITS", kTiffPackBits},    {"DEFLATE", kTiffDeflate},  {"ADOBEDEFLATE", kTiffAdobeDeflate},
    {"LZW", kTiffLzw},              {"JPEG", kTiffJpeg},        {"LOGLUV", kTiffLogLuv}};
constexpr OptionKeyword ColorTableKeywords[] = {{"AUTO", kColorTableAuto}, {"EXACT", kColorTableExact}};
constexpr OptionKeyword ColorModeKeywords[] = {
    {"RGB", kColorModeRgb}, {"CMYK", kColorModeCmyk}, {"LAB", kColorModeLab}};
constexpr OptionKeyword JpegChromaKeywords[] = {
    {"NONE", kChromaNone}, {"LOW", kChromaLow}, {"MEDIUM", kChromaMedium}, {"HIGH", kChromaHigh}};
constexpr OptionKeyword JpegSaveAsKeywords[] = {
    {"STANDARD", kJpegStandard}, {"SIMPLE", kJpegSimple}, {"OPTIMIZED", kJpegOptimized},
    {"PROGRESSIVE", kJpegProgressive}};
constexpr OptionKeyword RotationTypeKeywords[] = {{"SIMPLE", kRotateSimple}, {"ADVANCED", kRotateAdvanced}};
constexpr OptionKeyword SizeUnitKeywords[] = {{"PIXELS", kUnitPixels}, {"PERCENT", kUnitPercent}};
constexpr OptionKeyword ResizeTypeKeywords[] = {
    {"ALLIMAGES", kResizeAllImages}, {"LARGEIMAGES", kResizeLargeImages}};
constexpr OptionKeyword ResizeAlgorithmKeywords[] = {
    {"BOX", kResizeBox},         {"BILINEAR", kResizeBilinear},     {"BSPLINE", kResizeBspline},
    {"BICUBIC", kResizeBicubic}, {"CATMULLROM", kResizeCatmullRom}, {"LANCZOS", kResizeLanczos}};
constexpr OptionKeyword DitherAlgorithmKeywords[] = {
    {"FS", kDitherFs},             {"BAYER4", kDitherBayer4},     {"BAYER8", kDitherBayer8},
    {"BAYER16", kDitherBayer16},   {"CLUSTER6", kDitherCluster6}, {"CLUSTER8", kDitherCluster8},
    {"CLUSTER16", kDitherCluster16}};
constexpr OptionKeyword FrameTypeKeywords[] = {{"NONE", kFrameNone}, {"SOLID", kFrameSolid}};
constexpr OptionKeyword WatermarkTypeKeywords[] = {
    {"NONE", kWatermarkNone}, {"TEXT", kWatermarkText}, {"IMAGE", kWatermarkImage}};
constexpr OptionKeyword FontStyleKeywords[] = {
    {"REGULAR", kStyleRegular}, {"BOLD", kStyleBold}, {"ITALIC", kStyleItalic}, {"BOLDITALIC", kStyleBoldItalic}};
constexpr OptionKeyword FontEffectKeywords[] = {
    {"NONE", kEffectNone}, {"UNDERLINE", kEffectUnderline}, {"STRIKETHROUGHT", kEffectStrikeOut}};
constexpr OptionKeyword TextAlignmentKeywords[] = {
    {"LEFT", kAlignLeft}, {"CENTER", kAlignCenter}, {"RIGHT", kAlignRight}};
constexpr OptionKeyword WatermarkBoundaryKeywords[] = {{"IMAGE", kBoundaryImage}, {"FRAME", kBoundaryFrame}};
constexpr OptionKeyword WatermarkPositionKeywords[] = {
    {"TOPLEFT", kTopLeft},       {"TOPCENTER", kTopCenter},       {"TOPRIGHT", kTopRight},
    {"MIDDLELEFT", kMiddleLeft}, {"MIDDLECENTER", kMiddleCenter}, {"MIDDLERIGHT", kMiddleRight},
    {"BOTTOMLEFT", kBottomLeft}, {"BOTTOMCENTER", kBottomCenter}, {"BOTTOMRIGHT", kBottomRight}};
constexpr OptionKeyword WatermarkSizeKeywords[] = {{"FIXED", kSizeFixed}};
constexpr OptionKeyword FileTimestampKeywords[] = {
    {"CURRENT", kTimestampCurrent}, {"ORIGINAL", kTimestampOriginal}, {"CUSTOM", kTimestampCustom}};
// clang-format on

constexpr std::array<KeywordKind, kKeywordKindCount> KeywordKinds = {{
    {"DdsLoadAsKeywords", DdsLoadAsKeywords, true},
    {"RawLoadAsKeywords", RawLoadAsKeywords, true},
    {"FrameLoadingKeywords", FrameLoadingKeywords, true},
    {"ToneMappingKeywords", ToneMappingKeywords, true},
    {"CompressionKeywords", CompressionKeywords, true},
    {"ColorTableKeywords", ColorTableKeywords, true},
    {"ColorModeKeywords", ColorModeKeywords, true},
    {"JpegChromaKeywords", JpegChromaKeywords, true},
    {"JpegSaveAsKeywords", JpegSaveAsKeywords, true},
    {"RotationTypeKeywords", RotationTypeKeywords, true},
    {"SizeUnitKeywords", SizeUnitKeywords, true},
    {"ResizeTypeKeywords", ResizeTypeKeywords, true},
    {"ResizeAlgorithmKeywords", ResizeAlgorithmKeywords, true},
    {"DitherAlgorithmKeywords", DitherAlgorithmKeywords, true},
    {"FrameTypeKeywords", FrameTypeKeywords, false},
    {"WatermarkTypeKeywords", WatermarkTypeKeywords, false},
    {"FontStyleKeywords", FontStyleKeywords, true},
    {"FontEffectKeywords", FontEffectKeywords, true},
    {"TextAlignmentKeywords", TextAlignmentKeywords, true},
    {"WatermarkBoundaryKeywords", WatermarkBoundaryKeywords, true},
    {"WatermarkPositionKeywords", WatermarkPositionKeywords, true},
    {"WatermarkSizeKeywords", WatermarkSizeKeywords, true},
    {"FileTimestampKeywords", FileTimestampKeywords, true},
}};

constexpr KeywordKind kNoKind{"", {}, false};

}  // namespace

const KeywordKind& KeywordKindTable(int kind) {
  if (kind < 0 || kind >= kKeywordKindCount) return kNoKind;
  return KeywordKinds[static_cast<size_t>(kind)];
}

int32_t KeywordToCode(std::string_view value, int kind) {
  const KeywordKind& table = KeywordKindTable(kind);
  if (!table.forward) return 0;
  std::string upper = ToUpper(value);
  for (const OptionKeyword& keyword : table.keywords)
    if (keyword.word == upper) return keyword.code;
  return 0;
}

std::string CodeToKeyword(int kind, int32_t code) {
  for (const OptionKeyword& keyword : KeywordKindTable(kind).keywords)
    if (keyword.code == code) return ToLower(keyword.word);
  return {};
}
