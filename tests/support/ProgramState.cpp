#include "support/ProgramState.h"

#include <mutex>

#include "cli/Arguments.h"
#include "cli/ConsoleMain.h"
#include "convert/Worker.h"
#include "formats/FormatTables.h"
#include "pipeline/Loading.h"
#include "pipeline/Watermarks.h"

namespace {

void ResetProgress() {
  std::lock_guard<std::mutex> guard(progressLock);
  ConversionProgress.index = 0;
  ConversionProgress.currentName.clear();
  ConversionProgress.lastDuration = 0;
  ConversionProgress.convertedCount = 0;
  ConversionProgress.running = 0;
}

}  // namespace

void ResetProgramState() {
  InitialiseImageLibraries();
  AcceptedInputFormats = {"raw"};  // the console's only input family; a test may widen it
  AcceptedOutputFormats = {"jpg"};
  CommandLine.clear();
  PrepareConsoleRun();
  ResetProgress();
  ReleaseWatermarkFont();
}
