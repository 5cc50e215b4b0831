#include "convert/ConversionJob.h"

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"

ConversionJobRecord ConversionJob;
std::map<std::string, JobFileEntry> JobFileList;

void ResetConversionJob() {
  ConversionJob = ConversionJobRecord{};
  ConversionJob.programFolder = FolderPart(ProgramPath());
  ConversionJob.projectFile = "untitled.qln";
  ConversionJob.randomNumber = RandomInteger(1, 99999);
  ConversionJob.fileCounter = 1;
  JobFileList.clear();
  BuildAcceptedInputExtensions();
}

ImageRequest ImageRequestFor(const std::string& file, const std::string& subfolder) {
  const ConversionJobRecord& job = ConversionJob;
  ImageRequest request(ConversionSettings);
  request.currentFile = file;
  request.currentSubfolder = subfolder;
  request.outputFolder = job.outputFolder;
  request.outputExtension = OutputExtensionOrDefault(job.outputExtension);
  request.save = {job.saveFormat, job.targetBpp, job.saveFlags, job.autoBpp};
  request.randomNumber = job.randomNumber;
  request.fileCounter = job.fileCounter;
  return request;
}

ImageRequest CurrentImageRequest() {
  return ImageRequestFor(ConversionJob.currentFile, ConversionJob.currentSubfolder);
}
