#include "settings/ConversionSettings.h"

#include "platform/Clock.h"

ConversionSettingsRecord ConversionSettings;

void ResetConversionSettings(bool consoleProgram) {
  ConversionSettings = ConversionSettingsRecord{};
  ConversionSettings.keepAspectRatio = consoleProgram ? 0 : 1;
  ConversionSettings.wmText = kDefaultWatermarkText;
  // The custom time stamp is an int32 of local wall-clock seconds; it holds dates up to 2038.
  ConversionSettings.fileTimestampCustom = static_cast<int32_t>(LocalSecondsNow());
}
