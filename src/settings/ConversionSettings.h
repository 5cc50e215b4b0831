#pragma once
// The one global record of conversion settings. The program entry fills it with its
// defaults once; the command line and profile files overwrite single fields in the order
// they appear; from then on the driver and the pipeline only read it.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/Keywords.h"

// bool8 fields hold 0 or 1 (doFrame a code of kind 14); int8 fields hold codes of keyword
// kinds 9 to 22, named in settings/Keywords.h.
using bool8 = uint8_t;

struct ConversionSettingsRecord {
  // Input (load) options
  int32_t ddsLoadAs = kDdsAuto;               // kind 0
  int32_t gifFrameLoading = kLoadAllFrames;   // kind 2
  int32_t icoFrameLoading = kLoadAllFrames;   // kind 2
  int32_t tiffFrameLoading = kLoadAllFrames;  // kind 2
  int32_t psdColorMode = kColorModeRgb;       // kind 6
  int32_t rawLoadAs = kLoadAsAuto;            // kind 1
  int32_t rawHeaderSize = 0;
  int32_t rawWidth = 0;
  int32_t rawHeight = 0;
  int32_t rawToneMapping = kToneMapAl;  // kind 3

  // Output (save) options
  int32_t bmpBpp = 0;
  int32_t bmpCompression = kCompressionNone;  // kind 4
  int32_t bmpColorTable = kColorTableAuto;    // kind 5
  int32_t ddsBpp = 0;
  int32_t exrBpp = 0;
  int32_t exrCompression = kCompressionNone;  // kind 4
  int32_t gifBpp = 0;
  int32_t hdrBpp = 0;
  int32_t icoBpp = 0;
  int32_t j2kBpp = 0;
  int32_t jngBpp = 0;
  int32_t jp2Bpp = 0;
  int32_t jpgBpp = 0;
  int32_t jpgQuality = 95;
  int32_t jpgChroma = kChromaNone;    // kind 7
  int32_t jpgSaveAs = kJpegStandard;  // kind 8
  int32_t jxrBpp = 0;
  int32_t pbmBpp = 0;
  int32_t pcxBpp = 0;
  int32_t pfmBpp = 0;
  int32_t pgmBpp = 0;
  int32_t pngBpp = 0;
  int32_t pngCompression = kCompressionNone;  // kind 4
  bool8 pngInterlaced = 0;
  int32_t ppmBpp = 0;
  int32_t psdBpp = 0;
  int32_t tgaBpp = 0;
  int32_t tgaCompression = kCompressionNone;  // kind 4
  int32_t tiffBpp = 0;
  int32_t tiffCompression = kCompressionNone;  // kind 4
  int32_t tiffColorMode = kColorModeRgb;       // kind 6
  int32_t wbmpBpp = 0;
  int32_t webpBpp = 0;
  int32_t webpQuality = 100;
  int32_t xpmBpp = 0;

  // Rotation
  bool8 doRotation = 0;
  int8_t rotationType = kRotateSimple;  // kind 9
  int32_t rotation = 0;
  std::string rotationBackColor = "000000";

  // Resize
  bool8 doResize = 0;
  int32_t width = 0;
  int8_t widthUnit = kUnitPixels;  // kind 10
  int32_t height = 0;
  int8_t heightUnit = kUnitPixels;  // kind 10
  bool8 keepAspectRatio = 0;
  int8_t resizeType = kResizeAllImages;     // kind 11
  int8_t resizeAlgorithm = kResizeBicubic;  // kind 12

  // Flip
  bool8 flipHorizontal = 0;
  bool8 flipVertical = 0;

  // Colour adjustments
  bool8 doColorCorrection = 0;
  int32_t brightness = 0;
  int32_t contrast = 0;
  float gamma = 1.0f;
  bool8 invert = 0;
  bool8 greyscale = 0;

  // Threshold and dither
  bool8 doThreshold = 0;
  int32_t threshold = 0;
  bool8 doDither = 0;
  int8_t dither = kDitherFs;  // kind 13

  // Solid frame
  bool8 doFrame = kFrameNone;  // kind 14
  int32_t frSolidLeft = 0;
  int32_t frSolidRight = 0;
  int32_t frSolidTop = 0;
  int32_t frSolidBottom = 0;
  std::string frSolidLeftColor = "000000";
  std::string frSolidRightColor = "000000";
  std::string frSolidTopColor = "000000";
  std::string frSolidBottomColor = "000000";
  int32_t frSolidOpacity = 255;

  int8_t doWatermark = kWatermarkNone;  // kind 15

  // Text watermark
  std::string wmText;  // default set by ResetConversionSettings
  std::string wmFont = "Arial";
  int32_t wmFontSize = 14;
  int32_t wmFontLeading = 0;
  std::string wmFontColor = "FFFFFF";
  int8_t wmFontStyle = kStyleRegular;  // kind 16
  int8_t wmFontEffect = kEffectNone;   // kind 17
  bool8 wmTextAntialiasing = 0;
  int8_t wmTextAlignment = kAlignLeft;  // kind 18
  int32_t wmTextPadding = 0;
  int32_t wmTextOpacity = 255;
  std::string wmBackColor = "000000";
  int32_t wmBackOpacity = 1;
  int8_t wmTextBoundary = kBoundaryImage;  // kind 19
  int8_t wmTextPosition = kBottomRight;    // kind 20
  int32_t wmTextXOffset = 10;
  int32_t wmTextYOffset = 10;
  int32_t wmTextRotation = 0;
  int8_t wmTextSize = kSizeFixed;  // kind 21
  int32_t wmTextScale = 10;

  // Image watermark
  std::string wmImage;
  bool8 wmImageGreyscale = 0;
  int32_t wmImageOpacity = 255;
  int8_t wmImageBoundary = kBoundaryImage;  // kind 19
  int8_t wmImagePosition = kBottomRight;    // kind 20
  int32_t wmImageXOffset = 10;
  int32_t wmImageYOffset = 10;
  int32_t wmImageRotation = 0;
  int8_t wmImageSize = kSizeFixed;  // kind 21
  int32_t wmImageScale = 10;

  // Output file
  std::string filenameMask = "%filename%.%ext%";
  int8_t fileTimestamp = kTimestampCurrent;  // kind 22
  int32_t fileTimestampCustom = 0;           // local wall-clock seconds since 1970
  bool8 keepSubfolders = 1;
};

extern ConversionSettingsRecord ConversionSettings;

// The watermark text used when --wm-text gives none.
inline constexpr const char* kDefaultWatermarkText = "(c) Quillmark Software";

// Sets every field to its default (the second gives the defaults as a record of its own, for
// a caller that keeps one). `keepAspectRatio` is 0 for the console program and 1
// for the interactive front end; `fileTimestampCustom` takes the local date and time of
// the call.
void ResetConversionSettings(bool consoleProgram);
[[nodiscard]] ConversionSettingsRecord DefaultConversionSettings(bool consoleProgram);

// The bit-depth setting of an output extension ("bmp", "dds", ..., "xpm"); null for any other
// extension.
int32_t ConversionSettingsRecord::*BitDepthSetting(std::string_view extension);
