#include "support/ProgramState.h"

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
  const ImageRequest fresh(request.settings);
  request.currentFile = fresh.currentFile;
  request.currentSubfolder = fresh.currentSubfolder;
  request.outputFolder = fresh.outputFolder;
  request.outputExtension = fresh.outputExtension;
  request.save = fresh.save;
  request.randomNumber = fresh.randomNumber;
  request.fileCounter = fresh.fileCounter;
}
