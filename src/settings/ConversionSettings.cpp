#include "settings/ConversionSettings.h"

#include "platform/Clock.h"

ConversionSettingsRecord ConversionSettings;

namespace {

struct DepthSetting {
  std::string_view extension;
  int32_t ConversionSettingsRecord::*field;
};

const DepthSetting kDepthSettings[] = {
    {"bmp", &ConversionSettingsRecord::bmpBpp},   {"dds", &ConversionSettingsRecord::ddsBpp},
    {"exr", &ConversionSettingsRecord::exrBpp},   {"gif", &ConversionSettingsRecord::gifBpp},
    {"hdr", &ConversionSettingsRecord::hdrBpp},   {"ico", &ConversionSettingsRecord::icoBpp},
    {"j2k", &ConversionSettingsRecord::j2kBpp},   {"jng", &ConversionSettingsRecord::jngBpp},
    {"jp2", &ConversionSettingsRecord::jp2Bpp},   {"jpg", &ConversionSettingsRecord::jpgBpp},
    {"jxr", &ConversionSettingsRecord::jxrBpp},   {"pbm", &ConversionSettingsRecord::pbmBpp},
    {"pcx", &ConversionSettingsRecord::pcxBpp},   {"pfm", &ConversionSettingsRecord::pfmBpp},
    {"pgm", &ConversionSettingsRecord::pgmBpp},   {"png", &ConversionSettingsRecord::pngBpp},
    {"ppm", &ConversionSettingsRecord::ppmBpp},   {"psd", &ConversionSettingsRecord::psdBpp},
    {"tga", &ConversionSettingsRecord::tgaBpp},   {"tiff", &ConversionSettingsRecord::tiffBpp},
    {"wbmp", &ConversionSettingsRecord::wbmpBpp}, {"webp", &ConversionSettingsRecord::webpBpp},
    {"xpm", &ConversionSettingsRecord::xpmBpp},
};

}  // namespace

ConversionSettingsRecord DefaultConversionSettings(bool consoleProgram) {
  ConversionSettingsRecord settings;
  settings.keepAspectRatio = consoleProgram ? 0 : 1;
  settings.wmText = kDefaultWatermarkText;
  // The custom time stamp is an int32 of local wall-clock seconds; it holds dates up to 2038.
  settings.fileTimestampCustom = static_cast<int32_t>(LocalSecondsNow());
  return settings;
}

void ResetConversionSettings(bool consoleProgram) { ConversionSettings = DefaultConversionSettings(consoleProgram); }

int32_t ConversionSettingsRecord::*BitDepthSetting(std::string_view extension) {
  for (const DepthSetting& row : kDepthSettings)
    if (row.extension == extension) return row.field;
  return nullptr;
}
