#include "convert/Worker.h"

#include <algorithm>
#include <cstdlib>

#include "convert/ConversionJob.h"
#include "convert/Signatures.h"
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

// The job fields the pipeline writes for one image, in the order they travel from the child.
std::string EncodeImageFields() {
  const ConversionJobRecord& job = ConversionJob;
  std::string fields;
  for (int32_t value : {job.sourceBpp, job.targetBpp, job.outputWidth, job.outputHeight, job.frameNumber})
    fields += std::to_string(value) + "\n";
  return fields + job.outputFile;
}

bool DecodeImageFields(const std::string& fields) {
  ConversionJobRecord& job = ConversionJob;
  size_t pos = 0;
  for (int32_t* value : {&job.sourceBpp, &job.targetBpp, &job.outputWidth, &job.outputHeight, &job.frameNumber}) {
    size_t end = fields.find('\n', pos);
    if (end == std::string::npos) return false;
    *value = static_cast<int32_t>(std::strtol(fields.c_str() + pos, nullptr, 10));
    pos = end + 1;
  }
  job.outputFile = fields.substr(pos);
  return true;
}

// Debian's LibRaw 0.20 aborts the whole process on some crafted camera files (a fortified
// buffer check inside its Hasselblad model parser). The pipeline therefore runs in a child
// process: such a file ends as a failed conversion and the run goes on. The child hands
// back the job fields the pipeline wrote, which the output lines and later files read.
bool ProcessImageInChild() {
  ChildResult result = RunInChildProcess([](std::string& reply) {
    const QuietStandardError quiet(ConversionJob.runMode != "DEBUG");
    if (!ProcessImage()) return false;
    reply = EncodeImageFields();
    return true;
  });
  return result.succeeded && DecodeImageFields(result.reply);
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
    if (!ProcessImageInChild()) {
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
