// The name mask and the watermark text come from the command line or a profile, and the
// input file's name is whatever the camera or the user chose.
#include "FuzzSupport.h"
#include "formats/FormatTables.h"
#include "pipeline/Naming.h"
#include "settings/ConversionSettings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  return 0;
}

// The input is "mask NUL input-path NUL output-extension"; missing parts stay empty.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitAtNul(AsText(data, size));
  parts.resize(3);
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  settings.filenameMask = parts[0];
  settings.wmText = parts[0];
  ImageRequest request{settings};
  request.currentFile = parts[1];
  request.outputExtension = parts[2];
  request.outputFolder = "/tmp/out/";
  const ImageResult result;

  const std::string path = BuildOutputPath(request, result);
  Require(path.empty() || path.rfind(request.outputFolder, 0) == 0, "the output path starts with the output folder");
  Require(("/" + path + "/").find("/../") == std::string::npos, "the output path never climbs out of it");
  (void)ExpandWatermarkText(request, result);
  for (std::string_view token : NamePlaceholders()) (void)ExpandNameToken(parts[1], token, request, result);
  return 0;
}
