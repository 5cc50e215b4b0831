#include "pipeline/Saving.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>

#include "formats/FormatTables.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/ExifOrientation.h"
#include "pipeline/JpegWriting.h"
#include "pipeline/Loading.h"
#include "pipeline/Naming.h"
#include "pipeline/PhotoMetadata.h"
#include "platform/Files.h"
#include "platform/OutputFiles.h"
#include "settings/ConversionSettings.h"

namespace {

// ---- save flags ------------------------------------------------------------------------

struct CodeFlag {
  int32_t code;
  int32_t flag;
};

enum class UnlistedCode {
  kZero,        // a code without a row contributes nothing (FreeImage's default)
  kValueItself  // the setting's number is the flag (a quality)
};

struct SaveFlagRule {
  std::string_view extension;
  int32_t (*setting)(const ConversionSettingsRecord&);  // null: the rule always contributes `fixedFlags`
  std::span<const CodeFlag> codes;
  UnlistedCode unlisted;
  int32_t fixedFlags;
};

const CodeFlag kBmpCompression[] = {{kCompressionNone, BMP_DEFAULT}, {kCompressionRle, BMP_SAVE_RLE}};
const CodeFlag kExrCompression[] = {
    {kCompressionNone, EXR_NONE}, {kExrZip, EXR_ZIP}, {kExrPiz, EXR_PIZ}, {kExrPxr24, EXR_PXR24}, {kExrB44, EXR_B44}};
const CodeFlag kJpegChroma[] = {{kChromaNone, JPEG_SUBSAMPLING_444},
                                {kChromaLow, JPEG_SUBSAMPLING_422},
                                {kChromaMedium, JPEG_SUBSAMPLING_420},
                                {kChromaHigh, JPEG_SUBSAMPLING_411}};
// SIMPLE is FreeImage's baseline mode, which writes no metadata markers.
const CodeFlag kJpegSaveAs[] = {{kJpegStandard, 0},
                                {kJpegSimple, JPEG_BASELINE},
                                {kJpegOptimized, JPEG_OPTIMIZE},
                                {kJpegProgressive, JPEG_PROGRESSIVE}};
const CodeFlag kPngCompression[] = {{kCompressionNone, PNG_Z_NO_COMPRESSION},
                                    {kPngZlib1, PNG_Z_BEST_SPEED},
                                    {kPngZlib6, PNG_Z_DEFAULT_COMPRESSION},
                                    {kPngZlib9, PNG_Z_BEST_COMPRESSION}};
const CodeFlag kPngInterlaced[] = {{1, PNG_INTERLACED}};
const CodeFlag kTgaCompression[] = {{kCompressionNone, TARGA_DEFAULT}, {kCompressionRle, TARGA_SAVE_RLE}};
const CodeFlag kTiffCompression[] = {
    {kCompressionNone, TIFF_NONE},  {kTiffCcittFax3, TIFF_CCITTFAX3}, {kTiffCcittFax4, TIFF_CCITTFAX4},
    {kTiffPackBits, TIFF_PACKBITS}, {kTiffDeflate, TIFF_DEFLATE},     {kTiffAdobeDeflate, TIFF_ADOBE_DEFLATE},
    {kTiffLzw, TIFF_LZW},           {kTiffJpeg, TIFF_JPEG},           {kTiffLogLuv, TIFF_LOGLUV}};
const CodeFlag kTiffColorMode[] = {{kColorModeCmyk, TIFF_CMYK}};  // RGB and LAB write the same file
const CodeFlag kWebpQuality[] = {{100, WEBP_LOSSLESS}};

// Every rule of an extension contributes its flag; the contributions are OR-ed together.
// Compression codes are read per format, whichever format's keyword set them.
const SaveFlagRule kSaveFlagRules[] = {
    {"bmp", [](const ConversionSettingsRecord& s) { return s.bmpCompression; }, kBmpCompression, UnlistedCode::kZero,
     0},
    {"exr", [](const ConversionSettingsRecord& s) { return s.exrCompression; }, kExrCompression, UnlistedCode::kZero,
     0},
    {"jpg", [](const ConversionSettingsRecord& s) { return s.jpgQuality; }, {}, UnlistedCode::kValueItself, 0},
    {"jpg", [](const ConversionSettingsRecord& s) { return s.jpgChroma; }, kJpegChroma, UnlistedCode::kZero, 0},
    {"jpg", [](const ConversionSettingsRecord& s) { return s.jpgSaveAs; }, kJpegSaveAs, UnlistedCode::kZero, 0},
    {"jxr", nullptr, {}, UnlistedCode::kZero, JXR_LOSSLESS},
    {"png", [](const ConversionSettingsRecord& s) { return s.pngCompression; }, kPngCompression, UnlistedCode::kZero,
     0},
    {"png", [](const ConversionSettingsRecord& s) { return int32_t{s.pngInterlaced}; }, kPngInterlaced,
     UnlistedCode::kZero, 0},
    {"tga", [](const ConversionSettingsRecord& s) { return s.tgaCompression; }, kTgaCompression, UnlistedCode::kZero,
     0},
    {"tiff", [](const ConversionSettingsRecord& s) { return s.tiffCompression; }, kTiffCompression, UnlistedCode::kZero,
     0},
    {"tiff", [](const ConversionSettingsRecord& s) { return s.tiffColorMode; }, kTiffColorMode, UnlistedCode::kZero, 0},
    {"webp", [](const ConversionSettingsRecord& s) { return s.webpQuality; }, kWebpQuality, UnlistedCode::kValueItself,
     0},
};

int32_t FlagOf(const SaveFlagRule& rule, const ConversionSettingsRecord& settings) {
  if (!rule.setting) return rule.fixedFlags;
  const int32_t code = rule.setting(settings);
  for (const CodeFlag& row : rule.codes)
    if (row.code == code) return row.flag;
  return rule.unlisted == UnlistedCode::kValueItself ? code : 0;
}

// ---- output depth ----------------------------------------------------------------------

// 16-bit output is 5-5-5 for these and 5-6-5 for every other extension.
const std::string_view kRgb555Extensions[] = {"ico", "tga"};
// 8-bit output is grey for these and a Wu-quantised 256-colour palette for the others.
const std::string_view kGrey8Extensions[] = {"j2k", "jp2", "jpg", "jxr"};

bool Lists(std::span<const std::string_view> list, const std::string& extension) {
  return std::find(list.begin(), list.end(), extension) != list.end();
}

// FreeImage's 16-bit, grey and dither conversions do not take 16 bits per channel, so such
// bitmaps go through 24 bits first.
BitmapPtr WithByteChannels(BitmapPtr bitmap) {
  return BppOf(bitmap) > 32 ? ConvertToRgb24(std::move(bitmap)) : std::move(bitmap);
}

BitmapPtr To16Bits(BitmapPtr bitmap, const std::string& extension) {
  return ConvertWithinLimits(
      WithByteChannels(std::move(bitmap)), 16,
      Lists(kRgb555Extensions, extension) ? FreeImage_ConvertTo16Bits555 : FreeImage_ConvertTo16Bits565);
}

BitmapPtr To8Bits(BitmapPtr bitmap, const std::string& extension) {
  if (Lists(kGrey8Extensions, extension))
    return ConvertWithinLimits(WithByteChannels(std::move(bitmap)), 8, FreeImage_ConvertTo8Bits);
  if (BppOf(bitmap) != 24) bitmap = ConvertToRgb24(std::move(bitmap));
  return ConvertWithinLimits(std::move(bitmap), 8,
                             [](FIBITMAP* b) { return FreeImage_ColorQuantizeEx(b, FIQ_WUQUANT, 256, 0, nullptr); });
}

BitmapPtr To1Bit(BitmapPtr bitmap, const std::string&) {
  return ConvertWithinLimits(WithByteChannels(std::move(bitmap)), 1,
                             [](FIBITMAP* b) { return FreeImage_Dither(b, FID_FS); });
}

struct DepthConversion {
  int32_t target;
  BitmapPtr (*convert)(BitmapPtr, const std::string& extension);
};

const DepthConversion kDepthConversions[] = {
    {96,
     [](BitmapPtr b, const std::string&) { return ConvertWithinLimits(std::move(b), 96, FreeImage_ConvertToRGBF); }},
    {48,
     [](BitmapPtr b, const std::string&) { return ConvertWithinLimits(std::move(b), 48, FreeImage_ConvertToRGB16); }},
    {32,
     [](BitmapPtr b, const std::string&) { return ConvertWithinLimits(std::move(b), 32, FreeImage_ConvertTo32Bits); }},
    {24, [](BitmapPtr b, const std::string&) { return ConvertToRgb24(std::move(b)); }},
    {16, To16Bits},
    {8, To8Bits},
    {4, [](BitmapPtr b, const std::string&) { return ConvertWithinLimits(std::move(b), 4, FreeImage_ConvertTo4Bits); }},
    {1, To1Bit},
};

// ---- writing ---------------------------------------------------------------------------

unsigned ReadFromFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<std::FILE*>(handle)));
}
unsigned WriteToFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fwrite(buffer, size, count, static_cast<std::FILE*>(handle)));
}
int SeekInFile(fi_handle handle, long offset, int origin) {
  return fseeko(static_cast<std::FILE*>(handle), offset, origin);
}
long TellInFile(fi_handle handle) { return static_cast<long>(ftello(static_cast<std::FILE*>(handle))); }

bool WriteImage(std::FILE* file, FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags, const PixelRows* rows,
                const JpegSegments* metadata) {
  if (format == FIF_JPEG && CanWriteJpegDirectly(bitmap, flags)) {
    if (!WriteJpegDirectly(file, bitmap, flags, rows, metadata)) return false;
  } else if (format == FIF_JPEG && metadata) {
    if (!WriteJpegThroughFreeImage(file, bitmap, flags, *metadata)) return false;
  } else {
    FreeImageIO io{ReadFromFile, WriteToFile, SeekInFile, TellInFile};
    if (!FreeImage_SaveToHandle(format, bitmap, &io, file, flags)) return false;
  }
  return std::fflush(file) == 0 && !std::ferror(file);
}

bool WriteOutputFile(FIBITMAP* bitmap, const std::string& target, FREE_IMAGE_FORMAT format, int flags,
                     const PixelRows* rows, const JpegSegments* metadata) {
  PendingFile file;
  return BeginOutputFile(target, file) && WriteImage(file.stream.get(), bitmap, format, flags, rows, metadata) &&
         CommitOutputFile(file);
}

// ---- the photograph's metadata ---------------------------------------------------------

// The input file's own EXIF, IPTC and XMP for a JPEG, made true of the saved pixels. Empty
// where FreeImage writes none (a SIMPLE JPEG, other formats) and where Exiv2 cannot read or
// encode them: the decoder's metadata on the bitmap is then written as before, and the debug
// report says why.
std::optional<JpegSegments> PhotographMetadata(const BitmapPtr& bitmap, const ImageRequest& request,
                                               ImageResult& result) {
  if (request.save.saveFormat != FIF_JPEG || (request.save.saveFlags & JPEG_BASELINE)) return std::nullopt;
  std::string failure;
  const PhotoMetadataPtr metadata = ReadPhotoMetadata(request.currentFile, failure);
  std::optional<JpegSegments> segments;
  if (metadata) segments = EncodePhotoMetadata(*metadata, WidthOf(bitmap), HeightOf(bitmap), failure);
  if (!segments)
    result.notes += "[WARNING] The file's own metadata was not copied (" + failure + "); the decoder's EXIF is kept\n";
  return segments;
}

}  // namespace

SaveSettings PrepareSaveSettings(const std::string& extension, const ConversionSettingsRecord& settings) {
  SaveSettings save;
  const auto entry = OutputFormatTable.find(extension);
  save.saveFormat = entry == OutputFormatTable.end() ? kNoFormatCode : entry->second.formatCode;
  const auto depthSetting = BitDepthSetting(extension);
  save.targetBpp = depthSetting ? settings.*depthSetting : 0;
  save.saveFlags = SaveFlagsFor(extension, settings);
  save.autoBpp = save.targetBpp == 0 ? 1 : 0;
  return save;
}

int32_t SaveFlagsFor(const std::string& extension, const ConversionSettingsRecord& settings) {
  int32_t flags = 0;
  for (const SaveFlagRule& rule : kSaveFlagRules)
    if (rule.extension == extension) flags |= FlagOf(rule, settings);
  return flags;
}

int32_t AutoTargetBpp(const std::string& extension, int32_t sourceBpp) {
  const std::vector<int32_t> depths = PermittedBitDepths(extension);
  for (int32_t depth : depths)
    if (depth >= sourceBpp) return depth;
  return depths.empty() ? 0 : depths.back();
}

BitmapPtr ConvertForSave(BitmapPtr bitmap, const ImageRequest& request, ImageResult& result) {
  if (!bitmap) return bitmap;
  if (request.save.autoBpp) result.targetBpp = AutoTargetBpp(request.outputExtension, result.sourceBpp);
  if (BppOf(bitmap) == result.targetBpp) return bitmap;
  for (const DepthConversion& row : kDepthConversions)
    if (row.target == result.targetBpp) return row.convert(std::move(bitmap), request.outputExtension);
  return nullptr;
}

bool SaveOutputImage(BitmapPtr bitmap, BitmapPtr metadataHolder, const ImageRequest& request, ImageResult& result,
                     const PixelRows* rows) {
  RestoreSourceMetadata(bitmap.get(), metadataHolder.get(), request.settings);
  MarkMetadataUpright(bitmap.get());
  result.outputFile = BuildOutputPath(request, result);
  if (!bitmap || result.outputFile.empty()) return false;
  // Writing over the input would destroy it whatever the outcome.
  if (IsSameFile(result.outputFile, request.currentFile)) return false;
  const std::optional<JpegSegments> metadata = PhotographMetadata(bitmap, request, result);
  return WriteOutputFile(bitmap.get(), result.outputFile, static_cast<FREE_IMAGE_FORMAT>(request.save.saveFormat),
                         request.save.saveFlags, rows, metadata ? &*metadata : nullptr);
}
