// The name mask and the watermark text come from the command line or a profile, and the
// input file's name is whatever the camera or the user chose.
#include "FuzzSupport.h"
#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "pipeline/Naming.h"
#include "settings/ConversionSettings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  ResetConversionJob();
  ResetConversionSettings(true);
  return 0;
}

// The input is "mask NUL input-path NUL output-extension"; missing parts stay empty.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitAtNul(AsText(data, size));
  parts.resize(3);
  ConversionSettings.filenameMask = parts[0];
  ConversionSettings.wmText = parts[0];
  ConversionJob.currentFile = parts[1];
  ConversionJob.outputExtension = parts[2];
  ConversionJob.outputFolder = "/tmp/out/";

  const std::string path = BuildOutputPath();
  Require(path.empty() || path.rfind(ConversionJob.outputFolder, 0) == 0, "the output path starts with the output folder");
  Require(("/" + path + "/").find("/../") == std::string::npos, "the output path never climbs out of it");
  (void)ExpandWatermarkText();
  for (std::string_view token : NamePlaceholders()) (void)ExpandNameToken(parts[1], token);
  return 0;
}
