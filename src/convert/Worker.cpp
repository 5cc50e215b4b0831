#include "convert/Worker.h"

#include <algorithm>

#include "convert/ConversionJob.h"
#include "convert/Signatures.h"
#include "pipeline/Naming.h"
#include "pipeline/Pipeline.h"
#include "platform/Clock.h"
#include "platform/Console.h"

ConversionProgressRecord ConversionProgress;
std::mutex progressLock;

namespace {

// A converted file counts at least a second, so a progress display never shows a
// misleadingly short estimate.
constexpr int64_t kMinimumDuration = 1000;

void PublishProgress(int32_t index, int64_t duration) {
  std::lock_guard<std::mutex> guard(progressLock);
  ConversionProgress.index = index;
  ConversionProgress.currentName = ConversionJob.currentFile;
  ConversionProgress.lastDuration = duration;
}

}  // namespace

int ConversionWorker(int /*parameter*/) {
  const bool verbose = ConversionJob.consoleRun && ConversionJob.runMode == "DEBUG";
  int32_t processed = 0, succeeded = 0;
  int64_t duration = 0;
  for (const auto& [path, entry] : JobFileList) {
    if (!ConversionProgress.running) break;
    ++processed;
    ConversionJob.currentFile = path;
    ConversionJob.currentSubfolder = entry.subfolder;
    PublishProgress(processed, duration);
    if (verbose) {
      PrintLine("Processing: " + ConversionJob.currentFile);
      PrintLine("File Format: " + IdentifyFileSignature(ConversionJob.currentFile));
    }
    int64_t start = MonotonicMilliseconds();
    if (!ProcessImage()) {
      duration = 0;
      if (verbose) PrintLine("[ERROR] Unable to convert the file!");
      continue;
    }
    if (verbose) PrintLine("[OK] Saving As: " + ConversionJob.outputFile);
    ++succeeded;
    duration = std::max(MonotonicMilliseconds() - start, kMinimumDuration);
    ConversionJob.randomNumber = RandomInteger(1, 99999);
    ConversionJob.fileCounter += 1;
    ApplyFileTimestamp();
  }
  std::lock_guard<std::mutex> guard(progressLock);
  ConversionProgress.convertedCount = succeeded;
  return 0;
}
