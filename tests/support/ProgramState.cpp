#include "support/ProgramState.h"

#include <memory>

#include "cli/Arguments.h"
#include "cli/ConsoleMain.h"
#include "convert/Worker.h"
#include "formats/FormatTables.h"
#include "pipeline/ImageRecords.h"
#include "pipeline/Loading.h"
#include "pipeline/Watermarks.h"

void ResetProgramState() {
  InitialiseImageLibraries();
  AcceptedInputFormats = {"raw"};  // the console's only input family; a test may widen it
  AcceptedOutputFormats = {"jpg"};
  CommandLine.clear();
  PrepareConsoleRun();
  ResetConversionProgress();
  ReleaseWatermarkFont();
}

void ClearImageRequest(ImageRequest& request) {
  const ConversionSettingsRecord& settings = request.settings;
  std::destroy_at(&request);
  std::construct_at(&request, settings);
}
