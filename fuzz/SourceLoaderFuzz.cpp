// The whole decoder chain on damaged files: the RAW decoder, the JPEG decoder and the
// headerless fallback must each fail or give a bitmap within the limits, without hanging.
#include "FuzzSupport.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/Limits.h"
#include "pipeline/Loading.h"
#include "pipeline/Transforms.h"
#include "settings/ConversionSettings.h"
#include "settings/Keywords.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitialiseImageLibraries();  // LibRaw still prints its complaints about damaged files
  return 0;
}

// The input is one byte choosing the RAW mode (AUTO, "24", "48HS", "48"), then the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr int32_t kModes[] = {kLoadAsAuto, kLoadAs24, kLoadAs48HalfSize, kLoadAs48};
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  settings.rawLoadAs = kModes[data[0] % 4];
  BitmapPtr bitmap = LoadSourceImage(WriteScratchFile(AsText(data + 1, size - 1)), settings);
  if (bitmap) {
    Require(FitsImageLimits(WidthOf(bitmap), HeightOf(bitmap), BppOf(bitmap)), "a loaded bitmap is within the limits");
    bitmap = ApplyToneMapping(std::move(bitmap), settings);
  }
  return 0;
}
