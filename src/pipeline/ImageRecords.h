#pragma once
// What the pipeline is asked to do for one image, and what it hands back. The caller fills
// the request from its own records; the result crosses the child-process boundary as one
// encoded text.
#include <cstdint>
#include <optional>
#include <string>

#include "formats/FormatTables.h"
#include "settings/ConversionSettings.h"

// The save format, depth and flags of the output extension; fixed once per run.
struct SaveSettings {
  FormatCode saveFormat = 0;
  int32_t targetBpp = 0;  // 0 = automatic
  int32_t saveFlags = 0;
  bool8 autoBpp = 0;
};

// The settings are the one record the program keeps (or a test's own); the stages read
// them from here, never from the global.
struct ImageRequest {
  explicit ImageRequest(const ConversionSettingsRecord& given) : settings(given) {}
  const ConversionSettingsRecord& settings;
  std::string currentFile;
  std::string currentSubfolder;  // kept below the output folder when keepSubfolders is set
  std::string outputFolder;      // ending in "/"
  std::string outputExtension;
  SaveSettings save;
  int32_t randomNumber = 0;  // name-mask values
  int32_t fileCounter = 1;
};

struct ImageResult {
  int32_t sourceBpp = 0;
  int32_t targetBpp = 0;    // the depth saved (chosen from sourceBpp when automatic)
  int32_t outputWidth = 0;  // the size after rotation and resizing
  int32_t outputHeight = 0;
  int32_t frameNumber = 0;
  std::string outputFile;  // the path written
  // What the debug report says of this file beyond its outcome: whole lines, each ending in
  // "\n" (a damaged preview passed over, metadata that could not be read).
  std::string notes;
};

// One text that DecodeImageResult turns back into the same record, whatever the path holds.
std::string EncodeImageResult(const ImageResult& result);
[[nodiscard]] std::optional<ImageResult> DecodeImageResult(const std::string& text);
