#include "convert/SettingsReport.h"

#include <cstdio>
#include <initializer_list>
#include <span>
#include <string_view>

#include "formats/FormatTables.h"
#include "platform/Console.h"
#include "settings/ConversionSettings.h"
#include "settings/Keywords.h"

namespace {

using Rec = ConversionSettingsRecord;
using Format = std::string (*)(const Rec&);
using Check = bool (*)(const Rec&);

// One line of the report: label + formatted value, optionally followed by a check that
// runs in every mode and stops the run with `error` when it fails.
struct ReportLine {
  std::string_view label;
  Format value;
  Check check = nullptr;
  std::string_view error = {};
};

// Value formats: numbers in plain decimal (flags as 0 or 1), keywords through the reverse
// keyword table, texts as stored.
template <auto Field>
std::string Number(const Rec& s) {
  return std::to_string(static_cast<long long>(s.*Field));
}
template <auto Field, int Kind>
std::string Word(const Rec& s) {
  return CodeToKeyword(Kind, static_cast<int32_t>(s.*Field));
}
template <auto Field>
std::string Text(const Rec& s) {
  return s.*Field;
}
template <auto Field, int Low, int High>
bool InRange(const Rec& s) {
  return s.*Field >= Low && s.*Field <= High;
}
template <auto Field>
bool NotZero(const Rec& s) {
  return s.*Field != 0;
}

std::string TwoDecimals(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
  return text;
}

// Compared as single-precision values. NaN passes no comparison, so it is refused
// explicitly: it would otherwise reach the colour adjustment as a gamma.
bool GammaInRange(const Rec& s) { return s.gamma >= 0.01f && s.gamma <= 9.99f; }

std::optional<std::string> PrintLines(std::span<const ReportLine> lines, bool debug) {
  for (const ReportLine& line : lines) {
    if (debug) PrintLine(std::string(line.label) + line.value(ConversionSettings));
    if (line.check && !line.check(ConversionSettings)) return std::string(line.error);
  }
  return std::nullopt;
}

struct LoadBlock {
  std::string_view formatKey;
  std::initializer_list<ReportLine> lines;
};

const LoadBlock kLoadBlocks[] = {
    {"dds", {{"DDS Load As: ", Word<&Rec::ddsLoadAs, kDdsLoadAs>}}},
    {"gif", {{"GIF Frame Loading: ", Word<&Rec::gifFrameLoading, kFrameLoading>}}},
    {"ico", {{"ICO Frame Loading: ", Word<&Rec::icoFrameLoading, kFrameLoading>}}},
    {"psd", {{"PSD Color Mode: ", Word<&Rec::psdColorMode, kColorMode>}}},
    {"raw",
     {{"RAW Load As: ", Word<&Rec::rawLoadAs, kRawLoadAs>},
      {"RAW Header Size: ", Number<&Rec::rawHeaderSize>},
      {"RAW Image Width: ", Number<&Rec::rawWidth>},
      {"RAW Image Height: ", Number<&Rec::rawHeight>},
      {"RAW Tone Mapping: ", Word<&Rec::rawToneMapping, kToneMapping>}}},
    {"tiff", {{"TIFF Frame Loading: ", Word<&Rec::tiffFrameLoading, kFrameLoading>}}},
};

// Every output extension: its lines, its depth setting (checked after the lines) and the
// checks that follow the depth check.
struct SaveBlock {
  std::string_view extension;
  int32_t Rec::*bpp;
  std::initializer_list<ReportLine> lines;
  std::initializer_list<ReportLine> checksAfterDepth = {};
};

template <auto Field>
constexpr ReportLine BppLine(std::string_view label) {
  return {label, Number<Field>};
}

const SaveBlock kSaveBlocks[] = {
    {"bmp", &Rec::bmpBpp,
     {BppLine<&Rec::bmpBpp>("BMP BPP: "),
      {"BMP Compression: ", Word<&Rec::bmpCompression, kCompression>},
      {"BMP Color Table: ", Word<&Rec::bmpColorTable, kColorTable>}}},
    {"dds", &Rec::ddsBpp, {BppLine<&Rec::ddsBpp>("DDS BPP: ")}},
    {"exr", &Rec::exrBpp,
     {BppLine<&Rec::exrBpp>("EXR BPP: "), {"EXR Compression: ", Word<&Rec::exrCompression, kCompression>}}},
    {"gif", &Rec::gifBpp, {BppLine<&Rec::gifBpp>("GIF BPP: ")}},
    {"hdr", &Rec::hdrBpp, {BppLine<&Rec::hdrBpp>("HDR BPP: ")}},
    {"ico", &Rec::icoBpp, {BppLine<&Rec::icoBpp>("ICO BPP: ")}},
    {"j2k", &Rec::j2kBpp, {BppLine<&Rec::j2kBpp>("J2K BPP: ")}},
    {"jng", &Rec::jngBpp, {BppLine<&Rec::jngBpp>("JNG BPP: ")}},
    {"jp2", &Rec::jp2Bpp, {BppLine<&Rec::jp2Bpp>("JP2 BPP: ")}},
    {"jpg", &Rec::jpgBpp,
     {BppLine<&Rec::jpgBpp>("JPG BPP: "),
      {"JPG Quality: ", Number<&Rec::jpgQuality>},
      {"JPG Chroma Subsampling: ", Word<&Rec::jpgChroma, kJpegChroma>},
      {"JPG Save As: ", Word<&Rec::jpgSaveAs, kJpegSaveAs>}},
     {{"", nullptr, InRange<&Rec::jpgQuality, 1, 100>, "Invalid jpg-quality value"}}},
    {"jxr", &Rec::jxrBpp, {BppLine<&Rec::jxrBpp>("JXR BPP: ")}},
    {"pbm", &Rec::pbmBpp, {BppLine<&Rec::pbmBpp>("PBM BPP: ")}},
    {"pcx", &Rec::pcxBpp, {BppLine<&Rec::pcxBpp>("PCX BPP: ")}},
    {"pfm", &Rec::pfmBpp, {BppLine<&Rec::pfmBpp>("PFM BPP: ")}},
    {"pgm", &Rec::pgmBpp, {BppLine<&Rec::pgmBpp>("PGM BPP: ")}},
    {"png", &Rec::pngBpp,
     {BppLine<&Rec::pngBpp>("PNG BPP: "),
      {"PNG Compression: ", Word<&Rec::pngCompression, kCompression>},
      {"PNG Interlaced: ", Number<&Rec::pngInterlaced>}}},
    {"ppm", &Rec::ppmBpp, {BppLine<&Rec::ppmBpp>("PPM BPP: ")}},
    {"psd", &Rec::psdBpp, {BppLine<&Rec::psdBpp>("PSD BPP: ")}},
    {"tga", &Rec::tgaBpp,
     {BppLine<&Rec::tgaBpp>("TGA BPP: "), {"TGA Compression: ", Word<&Rec::tgaCompression, kCompression>}}},
    {"tiff", &Rec::tiffBpp,
     {BppLine<&Rec::tiffBpp>("TIFF BPP: "),
      {"TIFF Compression: ", Word<&Rec::tiffCompression, kCompression>},
      {"TIFF Color Mode: ", Word<&Rec::tiffColorMode, kColorMode>}}},
    {"wbmp", &Rec::wbmpBpp, {BppLine<&Rec::wbmpBpp>("WBMP BPP: ")}},
    {"webp", &Rec::webpBpp,
     {BppLine<&Rec::webpBpp>("WEBP BPP: "), {"WEBP Quality: ", Number<&Rec::webpQuality>}},
     {{"", nullptr, InRange<&Rec::webpQuality, 1, 100>, "Invalid webp-quality value"}}},
    {"xpm", &Rec::xpmBpp, {BppLine<&Rec::xpmBpp>("XPM BPP: ")}},
};

// Guarded groups of the transform block, in report order.
struct GuardedLines {
  Check guard;  // null: always reported
  std::initializer_list<ReportLine> lines;
};

std::string WidthWithUnit(const Rec& s) { return Number<&Rec::width>(s) + " " + Word<&Rec::widthUnit, kSizeUnit>(s); }
std::string HeightWithUnit(const Rec& s) {
  return Number<&Rec::height>(s) + " " + Word<&Rec::heightUnit, kSizeUnit>(s);
}
std::string Gamma(const Rec& s) { return TwoDecimals(s.gamma); }

const GuardedLines kTransformBlock[] = {
    {NotZero<&Rec::doRotation>,
     {{"Image Rotation Type: ", Word<&Rec::rotationType, kRotationType>},
      {"Image Rotation: ", Number<&Rec::rotation>},
      {"Image Rotation Back Color: ", Text<&Rec::rotationBackColor>}}},
    {NotZero<&Rec::doResize>,
     {{"Width: ", WidthWithUnit, NotZero<&Rec::width>, "Invalid width value"},
      {"Height: ", HeightWithUnit, NotZero<&Rec::height>, "Invalid height value"},
      {"Keep Aspect Ratio: ", Number<&Rec::keepAspectRatio>},
      {"Image Resize Type: ", Word<&Rec::resizeType, kResizeType>},
      {"Image Resize Algorithm: ", Word<&Rec::resizeAlgorithm, kResizeAlgorithm>}}},
    {nullptr,
     {{"Flip Horizontal: ", Number<&Rec::flipHorizontal>}, {"Flip Vertical: ", Number<&Rec::flipVertical>}}},
    {NotZero<&Rec::doColorCorrection>,
     {{"Brightness: ", Number<&Rec::brightness>, InRange<&Rec::brightness, -100, 100>, "Invalid brightness value"},
      {"Contrast: ", Number<&Rec::contrast>, InRange<&Rec::contrast, -100, 100>, "Invalid contrast value"},
      {"Gamma: ", Gamma, GammaInRange, "Invalid gamma value"},
      {"Invert: ", Number<&Rec::invert>}}},
    {nullptr, {{"Greyscale: ", Number<&Rec::greyscale>}}},
    {NotZero<&Rec::doThreshold>, {{"Image Threshold: ", Number<&Rec::threshold>}}},
    {NotZero<&Rec::doDither>, {{"Image Dithering Algorithm: ", Word<&Rec::dither, kDitherAlgorithm>}}},
};

bool IsSolidFrame(const Rec& s) { return s.doFrame == 1; }

const ReportLine kFrameLines[] = {
    {"Frame left: ", Number<&Rec::frSolidLeft>},
    {"Frame right: ", Number<&Rec::frSolidRight>},
    {"Frame top: ", Number<&Rec::frSolidTop>},
    {"Frame bottom: ", Number<&Rec::frSolidBottom>},
    {"Frame left color: ", Text<&Rec::frSolidLeftColor>},
    {"Frame right color: ", Text<&Rec::frSolidRightColor>},
    {"Frame top color: ", Text<&Rec::frSolidTopColor>},
    {"Frame bottom color: ", Text<&Rec::frSolidBottomColor>},
    {"Frame opacity: ", Number<&Rec::frSolidOpacity>},
};

std::string TextOffsets(const Rec& s) { return Number<&Rec::wmTextXOffset>(s) + "/" + Number<&Rec::wmTextYOffset>(s); }
std::string ImageOffsets(const Rec& s) {
  return Number<&Rec::wmImageXOffset>(s) + "/" + Number<&Rec::wmImageYOffset>(s);
}

const ReportLine kTextWatermarkLines[] = {
    {"Watermark text: ", Text<&Rec::wmText>},
    {"Watermark font: ", Text<&Rec::wmFont>},
    {"Watermark font size: ", Number<&Rec::wmFontSize>},
    {"Watermark font leading: ", Number<&Rec::wmFontLeading>},
    {"Watermark font color: ", Text<&Rec::wmFontColor>},
    {"Watermark font style: ", Word<&Rec::wmFontStyle, kFontStyle>},
    {"Watermark font effect: ", Word<&Rec::wmFontEffect, kFontEffect>},
    {"Watermark text antialiasing: ", Number<&Rec::wmTextAntialiasing>},
    {"Watermark text alignment: ", Word<&Rec::wmTextAlignment, kTextAlignment>},
    {"Watermark text padding: ", Number<&Rec::wmTextPadding>},
    {"Watermark text opacity: ", Number<&Rec::wmTextOpacity>},
    {"Watermark background color: ", Text<&Rec::wmBackColor>},
    {"Watermark background opacity: ", Number<&Rec::wmBackOpacity>},
    {"Watermark boundary: ", Word<&Rec::wmTextBoundary, kWatermarkBoundary>},
    {"Watermark position: ", Word<&Rec::wmTextPosition, kWatermarkPosition>},
    {"Watermark offset (x/y): ", TextOffsets},
    {"Watermark rotation: ", Number<&Rec::wmTextRotation>},
    {"Watermark size/mode: ", Word<&Rec::wmTextSize, kWatermarkSize>},
};

const ReportLine kImageWatermarkLines[] = {
    {"Watermark image: ", Text<&Rec::wmImage>},
    {"Watermark greyscale: ", Number<&Rec::wmImageGreyscale>},
    {"Watermark opacity: ", Number<&Rec::wmImageOpacity>},
    {"Watermark boundary: ", Word<&Rec::wmImageBoundary, kWatermarkBoundary>},
    {"Watermark position: ", Word<&Rec::wmImagePosition, kWatermarkPosition>},
    {"Watermark offset (x/y): ", ImageOffsets},
    {"Watermark rotation: ", Number<&Rec::wmImageRotation>},
    {"Watermark size/mode: ", Word<&Rec::wmImageSize, kWatermarkSize>},
};

bool IsCustomTimestamp(const Rec& s) { return s.fileTimestamp == 2; }

const GuardedLines kNamingBlock[] = {
    {nullptr,
     {{"Filename Mask: ", Text<&Rec::filenameMask>},
      {"File Timestamp: ", Word<&Rec::fileTimestamp, kFileTimestamp>}}},
    {IsCustomTimestamp, {{"Custom Timestamp: ", Number<&Rec::fileTimestampCustom>}}},
    {nullptr, {{"Keep Subfolders: ", Number<&Rec::keepSubfolders>}}},
};

std::optional<std::string> PrintGuarded(std::span<const GuardedLines> groups, bool debug) {
  for (const GuardedLines& group : groups) {
    if (group.guard && !group.guard(ConversionSettings)) continue;
    if (auto error = PrintLines(group.lines, debug)) return error;
  }
  return std::nullopt;
}

// A check-only line has no label: it prints nothing, even in debug mode.
std::optional<std::string> RunChecks(std::span<const ReportLine> checks) {
  for (const ReportLine& check : checks)
    if (!check.check(ConversionSettings)) return std::string(check.error);
  return std::nullopt;
}

}  // namespace

void ReportLoadOptions(const std::string& sourceFormat, bool debug) {
  for (const LoadBlock& block : kLoadBlocks)
    if (block.formatKey == sourceFormat) (void)PrintLines(block.lines, debug);
}

std::optional<std::string> ReportSaveOptions(const std::string& extension, bool debug) {
  for (const SaveBlock& block : kSaveBlocks) {
    if (block.extension != extension) continue;
    (void)PrintLines(block.lines, debug);
    if (!IsPermittedBitDepth(extension, ConversionSettings.*block.bpp))
      return "Invalid " + extension + "-bpp value";
    return RunChecks(block.checksAfterDepth);
  }
  return std::nullopt;
}

std::optional<std::string> ReportTransforms(bool debug) { return PrintGuarded(kTransformBlock, debug); }

void ReportFrame(bool debug) {
  if (debug) PrintLine("Frame: " + CodeToKeyword(kFrameType, ConversionSettings.doFrame));
  if (IsSolidFrame(ConversionSettings)) (void)PrintLines(kFrameLines, debug);
}

void ReportWatermarkKind(bool debug) {
  if (debug) PrintLine("Watermark: " + CodeToKeyword(kWatermarkType, ConversionSettings.doWatermark));
}

void ReportTextWatermark(bool debug) { (void)PrintLines(kTextWatermarkLines, debug); }
void ReportImageWatermark(bool debug) { (void)PrintLines(kImageWatermarkLines, debug); }
void ReportNaming(bool debug) { (void)PrintGuarded(kNamingBlock, debug); }
