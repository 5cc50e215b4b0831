#include "settings/Keywords.h"

#include <array>

#include "platform/Text.h"

namespace {

constexpr OptionKeyword DdsLoadAsKeywords[] = {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}};
constexpr OptionKeyword RawLoadAsKeywords[] = {{"AUTO", 0}, {"8", 1},    {"16", 2},
                                               {"24", 3},   {"48HS", 4}, {"48", 5}};
constexpr OptionKeyword FrameLoadingKeywords[] = {
    {"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}};
constexpr OptionKeyword ToneMappingKeywords[] = {
    {"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}};
// Codes restart for each format family; the saving step reads a code for its own format.
constexpr OptionKeyword CompressionKeywords[] = {
    {"NONE", 0},      {"RLE", 1},       {"ZIP", 1},          {"PIZ", 2},       {"PXR24", 3},
    {"B44", 4},       {"ZLIB1", 1},     {"ZLIB6", 2},        {"ZLIB9", 3},     {"CCITTFAX3", 1},
    {"CCITTFAX4", 2}, {"PACKBITS", 3},  {"DEFLATE", 4},      {"ADOBEDEFLATE", 5},
    {"LZW", 6},       {"JPEG", 7},      {"LOGLUV", 8}};
constexpr OptionKeyword ColorTableKeywords[] = {{"AUTO", 0}, {"EXACT", 1}};
constexpr OptionKeyword ColorModeKeywords[] = {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}};
constexpr OptionKeyword JpegChromaKeywords[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr OptionKeyword JpegSaveAsKeywords[] = {
    {"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr OptionKeyword RotationTypeKeywords[] = {{"SIMPLE", 0}, {"ADVANCED", 1}};
constexpr OptionKeyword SizeUnitKeywords[] = {{"PIXELS", 0}, {"PERCENT", 1}};
constexpr OptionKeyword ResizeTypeKeywords[] = {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}};
constexpr OptionKeyword ResizeAlgorithmKeywords[] = {{"BOX", 0},     {"BILINEAR", 1},
                                                     {"BSPLINE", 2}, {"BICUBIC", 3},
                                                     {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr OptionKeyword DitherAlgorithmKeywords[] = {
    {"FS", 0},       {"BAYER4", 1},   {"BAYER8", 2},    {"BAYER16", 3},
    {"CLUSTER6", 4}, {"CLUSTER8", 5}, {"CLUSTER16", 6}};
constexpr OptionKeyword FrameTypeKeywords[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr OptionKeyword WatermarkTypeKeywords[] = {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}};
constexpr OptionKeyword FontStyleKeywords[] = {
    {"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
constexpr OptionKeyword FontEffectKeywords[] = {
    {"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr OptionKeyword TextAlignmentKeywords[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr OptionKeyword WatermarkBoundaryKeywords[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr OptionKeyword WatermarkPositionKeywords[] = {
    {"TOPLEFT", 0},      {"TOPCENTER", 1},    {"TOPRIGHT", 2},
    {"MIDDLELEFT", 3},   {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
    {"BOTTOMLEFT", 6},   {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr OptionKeyword WatermarkSizeKeywords[] = {{"FIXED", 0}};
constexpr OptionKeyword FileTimestampKeywords[] = {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}};

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
