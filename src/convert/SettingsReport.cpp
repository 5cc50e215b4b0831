#include "convert/SettingsReport.h"

#include <cstdio>
#include <initializer_list>
#include <span>
#include <string_view>

#include "formats/FormatTables.h"
#include "platform/Console.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "settings/Keywords.h"

namespace {

using Format = std::string (*)(const ConversionSettingsRecord&);
using Guard = bool (*)(const ConversionSettingsRecord&);

// One line of the report: label + formatted value.
struct ReportLine {
  std::string_view label;
  Format value;
};

// Value formats: numbers in plain decimal (flags as 0 or 1), keywords through the reverse
// keyword table, texts as stored.
template <auto Field>
std::string Number(const ConversionSettingsRecord& s) {
  return std::to_string(static_cast<long long>(s.*Field));
}
template <auto Field, int Kind>
std::string Word(const ConversionSettingsRecord& s) {
  return CodeToKeyword(Kind, static_cast<int32_t>(s.*Field));
}
template <auto Field>
std::string Text(const ConversionSettingsRecord& s) {
  return s.*Field;
}
template <auto Field>
bool IsOn(const ConversionSettingsRecord& s) {
  return s.*Field != 0;
}

std::string TwoDecimals(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
  return text;
}

// Prints the lines up to the one labelled `last` (all of them when no line has that label);
// false when it stopped there.
bool PrintLines(std::span<const ReportLine> lines, bool debug, std::string_view last = {}) {
  for (const ReportLine& line : lines) {
    if (debug) PrintLine(std::string(line.label) + line.value(ConversionSettings));
    if (!last.empty() && line.label == last) return false;
  }
  return true;
}

struct LoadBlock {
  std::string_view formatKey;
  std::initializer_list<ReportLine> lines;
};

const LoadBlock kLoadBlocks[] = {
    {"dds", {{"DDS Load As: ", Word<&ConversionSettingsRecord::ddsLoadAs, kDdsLoadAs>}}},
    {"gif", {{"GIF Frame Loading: ", Word<&ConversionSettingsRecord::gifFrameLoading, kFrameLoading>}}},
    {"ico", {{"ICO Frame Loading: ", Word<&ConversionSettingsRecord::icoFrameLoading, kFrameLoading>}}},
    {"psd", {{"PSD Color Mode: ", Word<&ConversionSettingsRecord::psdColorMode, kColorMode>}}},
    {"raw",
     {{"RAW Load As: ", Word<&ConversionSettingsRecord::rawLoadAs, kRawLoadAs>},
      {"RAW Header Size: ", Number<&ConversionSettingsRecord::rawHeaderSize>},
      {"RAW Image Width: ", Number<&ConversionSettingsRecord::rawWidth>},
      {"RAW Image Height: ", Number<&ConversionSettingsRecord::rawHeight>},
      {"RAW Tone Mapping: ", Word<&ConversionSettingsRecord::rawToneMapping, kToneMapping>}}},
    {"tiff", {{"TIFF Frame Loading: ", Word<&ConversionSettingsRecord::tiffFrameLoading, kFrameLoading>}}},
};

// The lines that follow an output extension's depth line.
struct SaveBlock {
  std::string_view extension;
  std::initializer_list<ReportLine> lines;
};

const SaveBlock kSaveBlocks[] = {
    {"bmp",
     {{"BMP Compression: ", Word<&ConversionSettingsRecord::bmpCompression, kCompression>},
      {"BMP Color Table: ", Word<&ConversionSettingsRecord::bmpColorTable, kColorTable>}}},
    {"exr", {{"EXR Compression: ", Word<&ConversionSettingsRecord::exrCompression, kCompression>}}},
    {"jpg",
     {{"JPG Quality: ", Number<&ConversionSettingsRecord::jpgQuality>},
      {"JPG Chroma Subsampling: ", Word<&ConversionSettingsRecord::jpgChroma, kJpegChroma>},
      {"JPG Save As: ", Word<&ConversionSettingsRecord::jpgSaveAs, kJpegSaveAs>}}},
    {"png",
     {{"PNG Compression: ", Word<&ConversionSettingsRecord::pngCompression, kCompression>},
      {"PNG Interlaced: ", Number<&ConversionSettingsRecord::pngInterlaced>}}},
    {"tga", {{"TGA Compression: ", Word<&ConversionSettingsRecord::tgaCompression, kCompression>}}},
    {"tiff",
     {{"TIFF Compression: ", Word<&ConversionSettingsRecord::tiffCompression, kCompression>},
      {"TIFF Color Mode: ", Word<&ConversionSettingsRecord::tiffColorMode, kColorMode>}}},
    {"webp", {{"WEBP Quality: ", Number<&ConversionSettingsRecord::webpQuality>}}},
};

// Guarded groups of the transform block, in report order.
struct GuardedLines {
  Guard guard;  // null: always reported
  std::initializer_list<ReportLine> lines;
};

std::string WidthWithUnit(const ConversionSettingsRecord& s) {
  return Number<&ConversionSettingsRecord::width>(s) + " " + Word<&ConversionSettingsRecord::widthUnit, kSizeUnit>(s);
}
std::string HeightWithUnit(const ConversionSettingsRecord& s) {
  return Number<&ConversionSettingsRecord::height>(s) + " " + Word<&ConversionSettingsRecord::heightUnit, kSizeUnit>(s);
}
std::string Gamma(const ConversionSettingsRecord& s) { return TwoDecimals(s.gamma); }

const GuardedLines kTransformBlock[] = {
    {IsOn<&ConversionSettingsRecord::doRotation>,
     {{"Image Rotation Type: ", Word<&ConversionSettingsRecord::rotationType, kRotationType>},
      {"Image Rotation: ", Number<&ConversionSettingsRecord::rotation>},
      {"Image Rotation Back Color: ", Text<&ConversionSettingsRecord::rotationBackColor>}}},
    {IsOn<&ConversionSettingsRecord::doResize>,
     {{"Width: ", WidthWithUnit},
      {"Height: ", HeightWithUnit},
      {"Keep Aspect Ratio: ", Number<&ConversionSettingsRecord::keepAspectRatio>},
      {"Image Resize Type: ", Word<&ConversionSettingsRecord::resizeType, kResizeType>},
      {"Image Resize Algorithm: ", Word<&ConversionSettingsRecord::resizeAlgorithm, kResizeAlgorithm>}}},
    {nullptr,
     {{"Flip Horizontal: ", Number<&ConversionSettingsRecord::flipHorizontal>},
      {"Flip Vertical: ", Number<&ConversionSettingsRecord::flipVertical>}}},
    {IsOn<&ConversionSettingsRecord::doColorCorrection>,
     {{"Brightness: ", Number<&ConversionSettingsRecord::brightness>},
      {"Contrast: ", Number<&ConversionSettingsRecord::contrast>},
      {"Gamma: ", Gamma},
      {"Invert: ", Number<&ConversionSettingsRecord::invert>}}},
    {nullptr, {{"Greyscale: ", Number<&ConversionSettingsRecord::greyscale>}}},
    {IsOn<&ConversionSettingsRecord::doThreshold>,
     {{"Image Threshold: ", Number<&ConversionSettingsRecord::threshold>}}},
    {IsOn<&ConversionSettingsRecord::doDither>,
     {{"Image Dithering Algorithm: ", Word<&ConversionSettingsRecord::dither, kDitherAlgorithm>}}},
};

bool IsSolidFrame(const ConversionSettingsRecord& s) { return s.doFrame == kFrameSolid; }

const ReportLine kFrameLines[] = {
    {"Frame left: ", Number<&ConversionSettingsRecord::frSolidLeft>},
    {"Frame right: ", Number<&ConversionSettingsRecord::frSolidRight>},
    {"Frame top: ", Number<&ConversionSettingsRecord::frSolidTop>},
    {"Frame bottom: ", Number<&ConversionSettingsRecord::frSolidBottom>},
    {"Frame left color: ", Text<&ConversionSettingsRecord::frSolidLeftColor>},
    {"Frame right color: ", Text<&ConversionSettingsRecord::frSolidRightColor>},
    {"Frame top color: ", Text<&ConversionSettingsRecord::frSolidTopColor>},
    {"Frame bottom color: ", Text<&ConversionSettingsRecord::frSolidBottomColor>},
    {"Frame opacity: ", Number<&ConversionSettingsRecord::frSolidOpacity>},
};

std::string TextOffsets(const ConversionSettingsRecord& s) {
  return Number<&ConversionSettingsRecord::wmTextXOffset>(s) + "/" +
         Number<&ConversionSettingsRecord::wmTextYOffset>(s);
}
std::string ImageOffsets(const ConversionSettingsRecord& s) {
  return Number<&ConversionSettingsRecord::wmImageXOffset>(s) + "/" +
         Number<&ConversionSettingsRecord::wmImageYOffset>(s);
}

const ReportLine kTextWatermarkLines[] = {
    {"Watermark text: ", Text<&ConversionSettingsRecord::wmText>},
    {"Watermark font: ", Text<&ConversionSettingsRecord::wmFont>},
    {"Watermark font size: ", Number<&ConversionSettingsRecord::wmFontSize>},
    {"Watermark font leading: ", Number<&ConversionSettingsRecord::wmFontLeading>},
    {"Watermark font color: ", Text<&ConversionSettingsRecord::wmFontColor>},
    {"Watermark font style: ", Word<&ConversionSettingsRecord::wmFontStyle, kFontStyle>},
    {"Watermark font effect: ", Word<&ConversionSettingsRecord::wmFontEffect, kFontEffect>},
    {"Watermark text antialiasing: ", Number<&ConversionSettingsRecord::wmTextAntialiasing>},
    {"Watermark text alignment: ", Word<&ConversionSettingsRecord::wmTextAlignment, kTextAlignment>},
    {"Watermark text padding: ", Number<&ConversionSettingsRecord::wmTextPadding>},
    {"Watermark text opacity: ", Number<&ConversionSettingsRecord::wmTextOpacity>},
    {"Watermark background color: ", Text<&ConversionSettingsRecord::wmBackColor>},
    {"Watermark background opacity: ", Number<&ConversionSettingsRecord::wmBackOpacity>},
    {"Watermark boundary: ", Word<&ConversionSettingsRecord::wmTextBoundary, kWatermarkBoundary>},
    {"Watermark position: ", Word<&ConversionSettingsRecord::wmTextPosition, kWatermarkPosition>},
    {"Watermark offset (x/y): ", TextOffsets},
    {"Watermark rotation: ", Number<&ConversionSettingsRecord::wmTextRotation>},
    {"Watermark size/mode: ", Word<&ConversionSettingsRecord::wmTextSize, kWatermarkSize>},
};

const ReportLine kImageWatermarkLines[] = {
    {"Watermark image: ", Text<&ConversionSettingsRecord::wmImage>},
    {"Watermark greyscale: ", Number<&ConversionSettingsRecord::wmImageGreyscale>},
    {"Watermark opacity: ", Number<&ConversionSettingsRecord::wmImageOpacity>},
    {"Watermark boundary: ", Word<&ConversionSettingsRecord::wmImageBoundary, kWatermarkBoundary>},
    {"Watermark position: ", Word<&ConversionSettingsRecord::wmImagePosition, kWatermarkPosition>},
    {"Watermark offset (x/y): ", ImageOffsets},
    {"Watermark rotation: ", Number<&ConversionSettingsRecord::wmImageRotation>},
    {"Watermark size/mode: ", Word<&ConversionSettingsRecord::wmImageSize, kWatermarkSize>},
};

bool IsCustomTimestamp(const ConversionSettingsRecord& s) { return s.fileTimestamp == kTimestampCustom; }

const GuardedLines kNamingBlock[] = {
    {nullptr,
     {{"Filename Mask: ", Text<&ConversionSettingsRecord::filenameMask>},
      {"File Timestamp: ", Word<&ConversionSettingsRecord::fileTimestamp, kFileTimestamp>}}},
    {IsCustomTimestamp, {{"Custom Timestamp: ", Number<&ConversionSettingsRecord::fileTimestampCustom>}}},
    {nullptr, {{"Keep Subfolders: ", Number<&ConversionSettingsRecord::keepSubfolders>}}},
};

void PrintGuarded(std::span<const GuardedLines> groups, bool debug, std::string_view last = {}) {
  for (const GuardedLines& group : groups) {
    if (group.guard && !group.guard(ConversionSettings)) continue;
    if (!PrintLines(group.lines, debug, last)) return;
  }
}

const SaveBlock* FindSaveBlock(std::string_view extension) {
  for (const SaveBlock& block : kSaveBlocks)
    if (block.extension == extension) return &block;
  return nullptr;
}

}  // namespace

void ReportLoadOptions(const std::string& sourceFormat, bool debug) {
  for (const LoadBlock& block : kLoadBlocks)
    if (block.formatKey == sourceFormat) (void)PrintLines(block.lines, debug);
}

void ReportSaveOptions(const std::string& extension, bool debug) {
  const auto depthSetting = BitDepthSetting(extension);
  if (!depthSetting || !debug) return;
  PrintLine(ToUpper(extension) + " BPP: " + std::to_string(ConversionSettings.*depthSetting));
  if (const SaveBlock* block = FindSaveBlock(extension)) (void)PrintLines(block->lines, debug);
}

void ReportTransforms(bool debug, std::string_view lastLine) { PrintGuarded(kTransformBlock, debug, lastLine); }

void ReportFrame(bool debug) {
  if (debug) PrintLine("Frame: " + CodeToKeyword(kFrameType, ConversionSettings.doFrame));
  if (IsSolidFrame(ConversionSettings)) (void)PrintLines(kFrameLines, debug);
}

void ReportWatermarkKind(bool debug) {
  if (debug) PrintLine("Watermark: " + CodeToKeyword(kWatermarkType, ConversionSettings.doWatermark));
}

void ReportTextWatermark(bool debug) { (void)PrintLines(kTextWatermarkLines, debug); }
void ReportImageWatermark(bool debug) { (void)PrintLines(kImageWatermarkLines, debug); }
void ReportNaming(bool debug) { PrintGuarded(kNamingBlock, debug); }
