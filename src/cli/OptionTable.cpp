#include "cli/OptionTable.h"

#include <array>

#include "cli/ValueReaders.h"
#include "platform/Text.h"
#include "settings/Keywords.h"

namespace {

using R = SettingsRecord;

// Every row starts as a settings row that both the command line and profiles know.
constexpr OptionRow Row(std::string_view name, ValueForm form, SettingsField field) {
  OptionRow row;
  row.name = name;
  row.form = form;
  row.field = field;
  return row;
}

constexpr OptionRow WithEnable(OptionRow row, SettingsField enable, int8_t enableValue) {
  row.enableField = enable;
  row.enableValue = enableValue;
  return row;
}

constexpr OptionRow Integer(std::string_view name, int32_t R::*field, SettingsField enable = {},
                            int8_t enableValue = 1) {
  return WithEnable(Row(name, ValueForm::Integer, field), enable, enableValue);
}

constexpr OptionRow Float(std::string_view name, float R::*field, SettingsField enable = {}) {
  return WithEnable(Row(name, ValueForm::Float, field), enable, 1);
}

constexpr OptionRow Keyword(std::string_view name, int kind, SettingsField field, SettingsField enable = {}) {
  OptionRow row = WithEnable(Row(name, ValueForm::Keyword, field), enable, 1);
  row.keywordKind = kind;
  return row;
}

constexpr OptionRow Text(std::string_view name, std::string R::*field, SettingsField enable = {},
                         int8_t enableValue = 1) {
  return WithEnable(Row(name, ValueForm::Text, field), enable, enableValue);
}

constexpr OptionRow Flag(std::string_view name, bool8 R::*field, int32_t value = 1, SettingsField enable = {}) {
  OptionRow row = WithEnable(Row(name, ValueForm::Flag, field), enable, 1);
  row.flagValue = value;
  return row;
}

// Rows of the run itself: input, output, format, profile and the run flags. None is a
// profile key.
constexpr OptionRow Run(std::string_view name, std::string_view shortName, ValueForm form, OptionTarget target) {
  OptionRow row = Row(name, form, {});
  row.shortName = shortName;
  row.target = target;
  row.scope = OptionScope::CommandLineOnly;
  return row;
}

constexpr OptionRow Scoped(OptionRow row, OptionScope scope) {
  row.scope = scope;
  return row;
}

constexpr OptionRow QuotesStrippedInProfile(OptionRow row) {
  row.profileStripsQuotes = true;
  return row;
}

constexpr auto kOptionRows = std::to_array<OptionRow>({
    Run("--INPUT", "-I", ValueForm::Text, OptionTarget::InputFile),
    Run("--OUTPUT", "-O", ValueForm::Text, OptionTarget::OutputFolder),
    Run("--CONVERSION", "-C", ValueForm::Text, OptionTarget::OutputExtension),

    // Loading
    Keyword("--DDS-LOAD-AS", kDdsLoadAs, &R::ddsLoadAs),
    Keyword("--GIF-FRAME-LOADING", kFrameLoading, &R::gifFrameLoading),
    Keyword("--ICO-FRAME-LOADING", kFrameLoading, &R::icoFrameLoading),
    Keyword("--PSD-COLOR-MODE", kColorMode, &R::psdColorMode),
    Keyword("--RAW-LOAD-AS", kRawLoadAs, &R::rawLoadAs),
    Integer("--RAW-HEADER-SIZE", &R::rawHeaderSize),
    Integer("--RAW-WIDTH", &R::rawWidth),
    Integer("--RAW-HEIGHT", &R::rawHeight),
    Keyword("--RAW-TONE-MAPPING", kToneMapping, &R::rawToneMapping),
    Keyword("--TIFF-FRAME-LOADING", kFrameLoading, &R::tiffFrameLoading),

    // Saving
    Integer("--BMP-BPP", &R::bmpBpp),
    Keyword("--BMP-COMPRESSION", kCompression, &R::bmpCompression),
    Keyword("--BMP-COLOR-TABLE", kColorTable, &R::bmpColorTable),
    Integer("--DDS-BPP", &R::ddsBpp),
    Integer("--EXR-BPP", &R::exrBpp),
    Keyword("--EXR-COMPRESSION", kCompression, &R::exrCompression),
    Integer("--GIF-BPP", &R::gifBpp),
    Integer("--HDR-BPP", &R::hdrBpp),
    Integer("--ICO-BPP", &R::icoBpp),
    Integer("--J2K-BPP", &R::j2kBpp),
    Integer("--JNG-BPP", &R::jngBpp),
    Integer("--JP2-BPP", &R::jp2Bpp),
    Integer("--JPG-BPP", &R::jpgBpp),
    Integer("--JPG-QUALITY", &R::jpgQuality),
    Keyword("--JPG-CHROMA", kJpegChroma, &R::jpgChroma),
    Keyword("--JPG-SAVE-AS", kJpegSaveAs, &R::jpgSaveAs),
    Integer("--JXR-BPP", &R::jxrBpp),
    Integer("--PBM-BPP", &R::pbmBpp),
    Integer("--PCX-BPP", &R::pcxBpp),
    Integer("--PFM-BPP", &R::pfmBpp),
    Integer("--PGM-BPP", &R::pgmBpp),
    Integer("--PNG-BPP", &R::pngBpp),
    Keyword("--PNG-COMPRESSION", kCompression, &R::pngCompression),
    Flag("--PNG-INTERLACED", &R::pngInterlaced),
    Integer("--PPM-BPP", &R::ppmBpp),
    Integer("--PSD-BPP", &R::psdBpp),
    Integer("--TGA-BPP", &R::tgaBpp),
    Keyword("--TGA-COMPRESSION", kCompression, &R::tgaCompression),
    Integer("--TIFF-BPP", &R::tiffBpp),
    Keyword("--TIFF-COMPRESSION", kCompression, &R::tiffCompression),
    Keyword("--TIFF-COLOR-MODE", kColorMode, &R::tiffColorMode),
    Integer("--WBMP-BPP", &R::wbmpBpp),
    Integer("--WEBP-BPP", &R::webpBpp),
    Integer("--WEBP-QUALITY", &R::webpQuality),
    Integer("--XPM-BPP", &R::xpmBpp),

    // Transforms
    Keyword("--ROTATION-TYPE", kRotationType, &R::rotationType),
    Integer("--ROTATION", &R::rotation, &R::doRotation),
    Text("--ROTATION-BACK-COLOR", &R::rotationBackColor),
    Integer("--WIDTH", &R::width, &R::doResize),
    Keyword("--WIDTH-UNIT", kSizeUnit, &R::widthUnit),
    Integer("--HEIGHT", &R::height, &R::doResize),
    Keyword("--HEIGHT-UNIT", kSizeUnit, &R::heightUnit),
    Flag("--KEEP-ASPECT-RATIO", &R::keepAspectRatio),
    Keyword("--RESIZE-TYPE", kResizeType, &R::resizeType),
    Keyword("--RESIZE-ALGORITHM", kResizeAlgorithm, &R::resizeAlgorithm),
    Flag("--FLIP-HORIZONTAL", &R::flipHorizontal),
    Flag("--FLIP-VERTICAL", &R::flipVertical),
    Integer("--BRIGHTNESS", &R::brightness, &R::doColorCorrection),
    Integer("--CONTRAST", &R::contrast, &R::doColorCorrection),
    Float("--GAMMA", &R::gamma, &R::doColorCorrection),
    Flag("--INVERT", &R::invert, 1, &R::doColorCorrection),
    Flag("--GREYSCALE", &R::greyscale),
    Integer("--THRESHOLD", &R::threshold, &R::doThreshold),
    Keyword("--DITHER", kDitherAlgorithm, &R::dither, &R::doDither),

    // Solid frame. Only the widths switch the frame on.
    Integer("--FR-SOLID-LEFT", &R::frSolidLeft, &R::doFrame),
    Integer("--FR-SOLID-RIGHT", &R::frSolidRight, &R::doFrame),
    Integer("--FR-SOLID-TOP", &R::frSolidTop, &R::doFrame),
    Integer("--FR-SOLID-BOTTOM", &R::frSolidBottom, &R::doFrame),
    Text("--FR-SOLID-LEFT-COLOR", &R::frSolidLeftColor),
    Text("--FR-SOLID-RIGHT-COLOR", &R::frSolidRightColor),
    Text("--FR-SOLID-TOP-COLOR", &R::frSolidTopColor),
    Text("--FR-SOLID-BOTTOM-COLOR", &R::frSolidBottomColor),
    // In a profile the frame opacity's key is --WM-SOLID-OPACITY, the key that existing
    // profile files carry; the command line uses the frame's own name.
    Scoped(Integer("--FR-SOLID-OPACITY", &R::frSolidOpacity), OptionScope::CommandLineOnly),
    Scoped(Integer("--WM-SOLID-OPACITY", &R::frSolidOpacity), OptionScope::ProfileOnly),

    // Text watermark; the later of --WM-TEXT and --WM-IMAGE decides which is drawn.
    Text("--WM-TEXT", &R::wmText, &R::doWatermark, 1),
    Text("--WM-FONT", &R::wmFont),
    Integer("--WM-FONT-SIZE", &R::wmFontSize),
    Integer("--WM-FONT-LEADING", &R::wmFontLeading),
    Text("--WM-FONT-COLOR", &R::wmFontColor),
    Keyword("--WM-FONT-STYLE", kFontStyle, &R::wmFontStyle),
    Keyword("--WM-FONT-EFFECT", kFontEffect, &R::wmFontEffect),
    Flag("--WM-TEXT-ANTIALIASING", &R::wmTextAntialiasing),
    Keyword("--WM-TEXT-ALIGNMENT", kTextAlignment, &R::wmTextAlignment),
    Integer("--WM-TEXT-PADDING", &R::wmTextPadding),
    Integer("--WM-TEXT-OPACITY", &R::wmTextOpacity),
    Text("--WM-BACK-COLOR", &R::wmBackColor),
    Integer("--WM-BACK-OPACITY", &R::wmBackOpacity),
    Keyword("--WM-TEXT-BOUNDARY", kWatermarkBoundary, &R::wmTextBoundary),
    Keyword("--WM-TEXT-POSITION", kWatermarkPosition, &R::wmTextPosition),
    Integer("--WM-TEXT-X-OFFSET", &R::wmTextXOffset),
    Integer("--WM-TEXT-Y-OFFSET", &R::wmTextYOffset),
    Integer("--WM-TEXT-ROTATION", &R::wmTextRotation),
    Keyword("--WM-TEXT-SIZE", kWatermarkSize, &R::wmTextSize),

    // Image watermark
    Text("--WM-IMAGE", &R::wmImage, &R::doWatermark, 2),
    Flag("--WM-IMAGE-GREYSCALE", &R::wmImageGreyscale),
    Integer("--WM-IMAGE-OPACITY", &R::wmImageOpacity),
    Keyword("--WM-IMAGE-BOUNDARY", kWatermarkBoundary, &R::wmImageBoundary),
    Keyword("--WM-IMAGE-POSITION", kWatermarkPosition, &R::wmImagePosition),
    Integer("--WM-IMAGE-X-OFFSET", &R::wmImageXOffset),
    Integer("--WM-IMAGE-Y-OFFSET", &R::wmImageYOffset),
    Integer("--WM-IMAGE-ROTATION", &R::wmImageRotation),
    Keyword("--WM-IMAGE-SIZE", kWatermarkSize, &R::wmImageSize),

    // Output file
    QuotesStrippedInProfile(Text("--FILENAME-MASK", &R::filenameMask)),
    Keyword("--FILE-TIMESTAMP", kFileTimestamp, &R::fileTimestamp),
    Integer("--FILE-TIMESTAMP-CUSTOM", &R::fileTimestampCustom),
    Flag("--NO-SUBFOLDERS", &R::keepSubfolders, 0),

    Run("--PROFILE", "", ValueForm::Text, OptionTarget::Profile),
    Run("--DEBUG", "-D", ValueForm::Flag, OptionTarget::Debug),
    Run("--QUIET", "-Q", ValueForm::Flag, OptionTarget::Quiet),
    Run("--PAUSE", "-P", ValueForm::Flag, OptionTarget::Pause),
});

// Writes a number into an integer, flag or float field; text fields take no numbers.
void StoreNumber(const SettingsField& field, int64_t number) {
  std::visit(
      [number](auto member) {
        using Member = decltype(member);
        if constexpr (std::is_same_v<Member, int32_t R::*>) ConversionSettings.*member = static_cast<int32_t>(number);
        if constexpr (std::is_same_v<Member, int8_t R::*>) ConversionSettings.*member = static_cast<int8_t>(number);
        if constexpr (std::is_same_v<Member, bool8 R::*>) ConversionSettings.*member = static_cast<bool8>(number);
        if constexpr (std::is_same_v<Member, float R::*>) ConversionSettings.*member = static_cast<float>(number);
      },
      field);
}

void StoreFloat(const SettingsField& field, float value) {
  if (auto member = std::get_if<float R::*>(&field)) ConversionSettings.**member = value;
}

void StoreText(const SettingsField& field, std::string_view value) {
  if (auto member = std::get_if<std::string R::*>(&field)) ConversionSettings.**member = std::string(value);
}

void SetEnableFlag(const OptionRow& row) { StoreNumber(row.enableField, row.enableValue); }

}  // namespace

const std::span<const OptionRow> OptionTable{kOptionRows};

const OptionRow* FindCommandLineOption(std::string_view name) {
  if (name.empty()) return nullptr;
  for (const OptionRow& row : OptionTable)
    if (row.scope != OptionScope::ProfileOnly && (row.name == name || row.shortName == name)) return &row;
  return nullptr;
}

const OptionRow* FindProfileKey(std::string_view key) {
  for (const OptionRow& row : OptionTable)
    if (row.scope != OptionScope::CommandLineOnly && row.name == key) return &row;
  return nullptr;
}

void SetFlagOption(const OptionRow& row) {
  SetEnableFlag(row);
  StoreNumber(row.field, row.flagValue);
}

void StoreOptionValue(const OptionRow& row, std::string_view value) {
  SetEnableFlag(row);
  switch (row.form) {
    case ValueForm::Flag: StoreNumber(row.field, row.flagValue); break;
    case ValueForm::Integer: StoreNumber(row.field, ReadIntegerValue(value)); break;
    case ValueForm::Float: StoreFloat(row.field, ReadFloatValue(value)); break;
    case ValueForm::Keyword: StoreNumber(row.field, KeywordToCode(TrimSpaces(value), row.keywordKind)); break;
    case ValueForm::Text: StoreText(row.field, value); break;
  }
}
