#include "convert/ConversionJob.h"

#include "platform/Clock.h"
#include "platform/Files.h"

ConversionJobRecord ConversionJob;
std::map<std::string, JobFileEntry> JobFileList;

std::string FolderPart(const std::string& path) {
  size_t start = (!path.empty() && path[0] == '"') ? 1 : 0;
  size_t end = path.find('|', start);
  if (end == std::string::npos) end = path.size();
  size_t lastSeparator = std::string::npos;
  for (size_t i = start; i < end; ++i)
    if (path[i] == '/' || path[i] == '\\') lastSeparator = i;
  if (lastSeparator == std::string::npos) return {};
  return path.substr(start, lastSeparator - start + 1);
}

void ResetConversionJob() {
  ConversionJob = ConversionJobRecord{};
  ConversionJob.programFolder = FolderPart(ProgramPath());
  ConversionJob.projectFile = "untitled.qln";
  ConversionJob.randomNumber = RandomInteger(1, 99999);
  ConversionJob.fileCounter = 1;
  JobFileList.clear();
  BuildAcceptedInputExtensions();
}

ImageRequest CurrentImageRequest() {
  const ConversionJobRecord& job = ConversionJob;
  return {job.currentFile,
          job.currentSubfolder,
          job.outputFolder,
          job.outputExtension,
          {job.saveFormat, job.targetBpp, job.saveFlags, job.autoBpp},
          job.randomNumber,
          job.fileCounter};
}
