#include "cli/OptionTable.h"

#include <array>

#include "cli/ValueReaders.h"
#include "platform/Text.h"
#include "settings/Keywords.h"

namespace {

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

constexpr OptionRow Integer(std::string_view name, int32_t ConversionSettingsRecord::*field, SettingsField enable = {},
                            int8_t enableValue = 1) {
  return WithEnable(Row(name, ValueForm::Integer, field), enable, enableValue);
}

constexpr OptionRow Float(std::string_view name, float ConversionSettingsRecord::*field, SettingsField enable = {}) {
  return WithEnable(Row(name, ValueForm::Float, field), enable, 1);
}

constexpr OptionRow Keyword(std::string_view name, int kind, SettingsField field, SettingsField enable = {}) {
  OptionRow row = WithEnable(Row(name, ValueForm::Keyword, field), enable, 1);
  row.keywordKind = kind;
  return row;
}

constexpr OptionRow Text(std::string_view name, std::string ConversionSettingsRecord::*field, SettingsField enable = {},
                         int8_t enableValue = 1) {
  return WithEnable(Row(name, ValueForm::Text, field), enable, enableValue);
}

constexpr OptionRow Colour(std::string_view name, std::string ConversionSettingsRecord::*field) {
  OptionRow row = Text(name, field);
  row.colour = true;
  return row;
}

constexpr OptionRow Flag(std::string_view name, bool8 ConversionSettingsRecord::*field, int32_t value = 1,
                         SettingsField enable = {}) {
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
    Keyword("--DDS-LOAD-AS", kDdsLoadAs, &ConversionSettingsRecord::ddsLoadAs),
    Keyword("--GIF-FRAME-LOADING", kFrameLoading, &ConversionSettingsRecord::gifFrameLoading),
    Keyword("--ICO-FRAME-LOADING", kFrameLoading, &ConversionSettingsRecord::icoFrameLoading),
    Keyword("--PSD-COLOR-MODE", kColorMode, &ConversionSettingsRecord::psdColorMode),
    Keyword("--RAW-LOAD-AS", kRawLoadAs, &ConversionSettingsRecord::rawLoadAs),
    Integer("--RAW-HEADER-SIZE", &ConversionSettingsRecord::rawHeaderSize),
    Integer("--RAW-WIDTH", &ConversionSettingsRecord::rawWidth),
    Integer("--RAW-HEIGHT", &ConversionSettingsRecord::rawHeight),
    Keyword("--RAW-TONE-MAPPING", kToneMapping, &ConversionSettingsRecord::rawToneMapping),
    Keyword("--TIFF-FRAME-LOADING", kFrameLoading, &ConversionSettingsRecord::tiffFrameLoading),

    // Saving
    Integer("--BMP-BPP", &ConversionSettingsRecord::bmpBpp),
    Keyword("--BMP-COMPRESSION", kCompression, &ConversionSettingsRecord::bmpCompression),
    Keyword("--BMP-COLOR-TABLE", kColorTable, &ConversionSettingsRecord::bmpColorTable),
    Integer("--DDS-BPP", &ConversionSettingsRecord::ddsBpp),
    Integer("--EXR-BPP", &ConversionSettingsRecord::exrBpp),
    Keyword("--EXR-COMPRESSION", kCompression, &ConversionSettingsRecord::exrCompression),
    Integer("--GIF-BPP", &ConversionSettingsRecord::gifBpp),
    Integer("--HDR-BPP", &ConversionSettingsRecord::hdrBpp),
    Integer("--ICO-BPP", &ConversionSettingsRecord::icoBpp),
    Integer("--J2K-BPP", &ConversionSettingsRecord::j2kBpp),
    Integer("--JNG-BPP", &ConversionSettingsRecord::jngBpp),
    Integer("--JP2-BPP", &ConversionSettingsRecord::jp2Bpp),
    Integer("--JPG-BPP", &ConversionSettingsRecord::jpgBpp),
    Integer("--JPG-QUALITY", &ConversionSettingsRecord::jpgQuality),
    Keyword("--JPG-CHROMA", kJpegChroma, &ConversionSettingsRecord::jpgChroma),
    Keyword("--JPG-SAVE-AS", kJpegSaveAs, &ConversionSettingsRecord::jpgSaveAs),
    Integer("--JXR-BPP", &ConversionSettingsRecord::jxrBpp),
    Integer("--PBM-BPP", &ConversionSettingsRecord::pbmBpp),
    Integer("--PCX-BPP", &ConversionSettingsRecord::pcxBpp),
    Integer("--PFM-BPP", &ConversionSettingsRecord::pfmBpp),
    Integer("--PGM-BPP", &ConversionSettingsRecord::pgmBpp),
    Integer("--PNG-BPP", &ConversionSettingsRecord::pngBpp),
    Keyword("--PNG-COMPRESSION", kCompression, &ConversionSettingsRecord::pngCompression),
    Flag("--PNG-INTERLACED", &ConversionSettingsRecord::pngInterlaced),
    Integer("--PPM-BPP", &ConversionSettingsRecord::ppmBpp),
    Integer("--PSD-BPP", &ConversionSettingsRecord::psdBpp),
    Integer("--TGA-BPP", &ConversionSettingsRecord::tgaBpp),
    Keyword("--TGA-COMPRESSION", kCompression, &ConversionSettingsRecord::tgaCompression),
    Integer("--TIFF-BPP", &ConversionSettingsRecord::tiffBpp),
    Keyword("--TIFF-COMPRESSION", kCompression, &ConversionSettingsRecord::tiffCompression),
    Keyword("--TIFF-COLOR-MODE", kColorMode, &ConversionSettingsRecord::tiffColorMode),
    Integer("--WBMP-BPP", &ConversionSettingsRecord::wbmpBpp),
    Integer("--WEBP-BPP", &ConversionSettingsRecord::webpBpp),
    Integer("--WEBP-QUALITY", &ConversionSettingsRecord::webpQuality),
    Integer("--XPM-BPP", &ConversionSettingsRecord::xpmBpp),

    // Transforms
    Keyword("--ROTATION-TYPE", kRotationType, &ConversionSettingsRecord::rotationType),
    Integer("--ROTATION", &ConversionSettingsRecord::rotation, &ConversionSettingsRecord::doRotation),
    Colour("--ROTATION-BACK-COLOR", &ConversionSettingsRecord::rotationBackColor),
    Integer("--WIDTH", &ConversionSettingsRecord::width, &ConversionSettingsRecord::doResize),
    Keyword("--WIDTH-UNIT", kSizeUnit, &ConversionSettingsRecord::widthUnit),
    Integer("--HEIGHT", &ConversionSettingsRecord::height, &ConversionSettingsRecord::doResize),
    Keyword("--HEIGHT-UNIT", kSizeUnit, &ConversionSettingsRecord::heightUnit),
    Flag("--KEEP-ASPECT-RATIO", &ConversionSettingsRecord::keepAspectRatio),
    Keyword("--RESIZE-TYPE", kResizeType, &ConversionSettingsRecord::resizeType),
    Keyword("--RESIZE-ALGORITHM", kResizeAlgorithm, &ConversionSettingsRecord::resizeAlgorithm),
    Flag("--FLIP-HORIZONTAL", &ConversionSettingsRecord::flipHorizontal),
    Flag("--FLIP-VERTICAL", &ConversionSettingsRecord::flipVertical),
    Integer("--BRIGHTNESS", &ConversionSettingsRecord::brightness, &ConversionSettingsRecord::doColorCorrection),
    Integer("--CONTRAST", &ConversionSettingsRecord::contrast, &ConversionSettingsRecord::doColorCorrection),
    Float("--GAMMA", &ConversionSettingsRecord::gamma, &ConversionSettingsRecord::doColorCorrection),
    Flag("--INVERT", &ConversionSettingsRecord::invert, 1, &ConversionSettingsRecord::doColorCorrection),
    Flag("--GREYSCALE", &ConversionSettingsRecord::greyscale),
    Integer("--THRESHOLD", &ConversionSettingsRecord::threshold, &ConversionSettingsRecord::doThreshold),
    Keyword("--DITHER", kDitherAlgorithm, &ConversionSettingsRecord::dither, &ConversionSettingsRecord::doDither),

    // Solid frame. Only the widths switch the frame on.
    Integer("--FR-SOLID-LEFT", &ConversionSettingsRecord::frSolidLeft, &ConversionSettingsRecord::doFrame),
    Integer("--FR-SOLID-RIGHT", &ConversionSettingsRecord::frSolidRight, &ConversionSettingsRecord::doFrame),
    Integer("--FR-SOLID-TOP", &ConversionSettingsRecord::frSolidTop, &ConversionSettingsRecord::doFrame),
    Integer("--FR-SOLID-BOTTOM", &ConversionSettingsRecord::frSolidBottom, &ConversionSettingsRecord::doFrame),
    Colour("--FR-SOLID-LEFT-COLOR", &ConversionSettingsRecord::frSolidLeftColor),
    Colour("--FR-SOLID-RIGHT-COLOR", &ConversionSettingsRecord::frSolidRightColor),
    Colour("--FR-SOLID-TOP-COLOR", &ConversionSettingsRecord::frSolidTopColor),
    Colour("--FR-SOLID-BOTTOM-COLOR", &ConversionSettingsRecord::frSolidBottomColor),
    // In a profile the frame opacity's key is --WM-SOLID-OPACITY, the key that existing
    // profile files carry; the command line uses the frame's own name.
    Scoped(Integer("--FR-SOLID-OPACITY", &ConversionSettingsRecord::frSolidOpacity), OptionScope::CommandLineOnly),
    Scoped(Integer("--WM-SOLID-OPACITY", &ConversionSettingsRecord::frSolidOpacity), OptionScope::ProfileOnly),

    // Text watermark; the later of --WM-TEXT and --WM-IMAGE decides which is drawn.
    Text("--WM-TEXT", &ConversionSettingsRecord::wmText, &ConversionSettingsRecord::doWatermark, kWatermarkText),
    Text("--WM-FONT", &ConversionSettingsRecord::wmFont),
    Integer("--WM-FONT-SIZE", &ConversionSettingsRecord::wmFontSize),
    Integer("--WM-FONT-LEADING", &ConversionSettingsRecord::wmFontLeading),
    Colour("--WM-FONT-COLOR", &ConversionSettingsRecord::wmFontColor),
    Keyword("--WM-FONT-STYLE", kFontStyle, &ConversionSettingsRecord::wmFontStyle),
    Keyword("--WM-FONT-EFFECT", kFontEffect, &ConversionSettingsRecord::wmFontEffect),
    Flag("--WM-TEXT-ANTIALIASING", &ConversionSettingsRecord::wmTextAntialiasing),
    Keyword("--WM-TEXT-ALIGNMENT", kTextAlignment, &ConversionSettingsRecord::wmTextAlignment),
    Integer("--WM-TEXT-PADDING", &ConversionSettingsRecord::wmTextPadding),
    Integer("--WM-TEXT-OPACITY", &ConversionSettingsRecord::wmTextOpacity),
    Colour("--WM-BACK-COLOR", &ConversionSettingsRecord::wmBackColor),
    Integer("--WM-BACK-OPACITY", &ConversionSettingsRecord::wmBackOpacity),
    Keyword("--WM-TEXT-BOUNDARY", kWatermarkBoundary, &ConversionSettingsRecord::wmTextBoundary),
    Keyword("--WM-TEXT-POSITION", kWatermarkPosition, &ConversionSettingsRecord::wmTextPosition),
    Integer("--WM-TEXT-X-OFFSET", &ConversionSettingsRecord::wmTextXOffset),
    Integer("--WM-TEXT-Y-OFFSET", &ConversionSettingsRecord::wmTextYOffset),
    Integer("--WM-TEXT-ROTATION", &ConversionSettingsRecord::wmTextRotation),
    Keyword("--WM-TEXT-SIZE", kWatermarkSize, &ConversionSettingsRecord::wmTextSize),

    // Image watermark
    Text("--WM-IMAGE", &ConversionSettingsRecord::wmImage, &ConversionSettingsRecord::doWatermark, kWatermarkImage),
    Flag("--WM-IMAGE-GREYSCALE", &ConversionSettingsRecord::wmImageGreyscale),
    Integer("--WM-IMAGE-OPACITY", &ConversionSettingsRecord::wmImageOpacity),
    Keyword("--WM-IMAGE-BOUNDARY", kWatermarkBoundary, &ConversionSettingsRecord::wmImageBoundary),
    Keyword("--WM-IMAGE-POSITION", kWatermarkPosition, &ConversionSettingsRecord::wmImagePosition),
    Integer("--WM-IMAGE-X-OFFSET", &ConversionSettingsRecord::wmImageXOffset),
    Integer("--WM-IMAGE-Y-OFFSET", &ConversionSettingsRecord::wmImageYOffset),
    Integer("--WM-IMAGE-ROTATION", &ConversionSettingsRecord::wmImageRotation),
    Keyword("--WM-IMAGE-SIZE", kWatermarkSize, &ConversionSettingsRecord::wmImageSize),

    // Output file
    QuotesStrippedInProfile(Text("--FILENAME-MASK", &ConversionSettingsRecord::filenameMask)),
    Keyword("--FILE-TIMESTAMP", kFileTimestamp, &ConversionSettingsRecord::fileTimestamp),
    Integer("--FILE-TIMESTAMP-CUSTOM", &ConversionSettingsRecord::fileTimestampCustom),
    Flag("--NO-SUBFOLDERS", &ConversionSettingsRecord::keepSubfolders, 0),

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
        if constexpr (std::is_same_v<Member, int32_t ConversionSettingsRecord::*>)
          ConversionSettings.*member = static_cast<int32_t>(number);
        if constexpr (std::is_same_v<Member, int8_t ConversionSettingsRecord::*>)
          ConversionSettings.*member = static_cast<int8_t>(number);
        if constexpr (std::is_same_v<Member, bool8 ConversionSettingsRecord::*>)
          ConversionSettings.*member = static_cast<bool8>(number);
        if constexpr (std::is_same_v<Member, float ConversionSettingsRecord::*>)
          ConversionSettings.*member = static_cast<float>(number);
      },
      field);
}

void StoreFloat(const SettingsField& field, float value) {
  if (auto member = std::get_if<float ConversionSettingsRecord::*>(&field)) ConversionSettings.*(*member) = value;
}

void StoreText(const SettingsField& field, std::string_view value) {
  if (auto member = std::get_if<std::string ConversionSettingsRecord::*>(&field))
    ConversionSettings.*(*member) = std::string(value);
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
