#include "convert/Worker.h"

#include <algorithm>
#include <optional>

#include "convert/ConversionJob.h"
#include "formats/Signatures.h"
#include "pipeline/Naming.h"
#include "pipeline/Pipeline.h"
#include "platform/ChildProcess.h"
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

// The output lines and the later files read what the pipeline found out.
void RecordImageResult(const ImageResult& result) {
  ConversionJobRecord& job = ConversionJob;
  job.sourceBpp = result.sourceBpp;
  job.targetBpp = result.targetBpp;
  job.outputWidth = result.outputWidth;
  job.outputHeight = result.outputHeight;
  job.frameNumber = result.frameNumber;
  job.outputFile = result.outputFile;
  job.pipelineNotes = result.notes;
}

// Debian's LibRaw 0.20 aborts the whole process on some crafted camera files (a fortified
// buffer check inside its Hasselblad model parser). The pipeline therefore runs in a child
// process: such a file ends as a failed conversion and the run goes on. The child hands
// back the pipeline's result.
bool ProcessImageInChild() {
  const ImageRequest request = CurrentImageRequest();
  const ChildResult child = RunInChildProcess([&](std::string& reply) {
    const QuietStandardError quiet(!IsDebugRun());
    const std::optional<ImageResult> result = ProcessImage(request);
    if (result) reply = EncodeImageResult(*result);
    return result.has_value();
  });
  const std::optional<ImageResult> result = child.succeeded ? DecodeImageResult(child.reply) : std::nullopt;
  if (result) RecordImageResult(*result);
  return result.has_value();
}

void PrintNotes(const std::string& notes) {
  for (size_t at = 0, end; (end = notes.find('\n', at)) != std::string::npos; at = end + 1)
    PrintLine(notes.substr(at, end - at));
}

}  // namespace

void ResetConversionProgress() {
  std::lock_guard<std::mutex> guard(progressLock);
  ConversionProgress.index = 0;
  ConversionProgress.currentName.clear();
  ConversionProgress.lastDuration = 0;
  ConversionProgress.convertedCount = 0;
  ConversionProgress.running = 0;
}

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
    if (!ProcessImageInChild()) {
      duration = 0;
      if (verbose) PrintLine("[ERROR] Unable to convert the file!");
      continue;
    }
    if (verbose) PrintNotes(ConversionJob.pipelineNotes);
    if (verbose) PrintLine("[OK] Saving As: " + ConversionJob.outputFile);
    ++succeeded;
    duration = std::max(MonotonicMilliseconds() - start, kMinimumDuration);
    ConversionJob.randomNumber = RandomInteger(1, 99999);
    ConversionJob.fileCounter += 1;
    ApplyFileTimestamp(ConversionJob.currentFile, ConversionJob.outputFile, ConversionSettings);
  }
  std::lock_guard<std::mutex> guard(progressLock);
  ConversionProgress.convertedCount = succeeded;
  return 0;
}
