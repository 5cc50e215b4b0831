#include "convert/Driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "convert/ConversionJob.h"
#include "convert/RequestChecks.h"
#include "convert/SettingsReport.h"
#include "convert/Worker.h"
#include "formats/FormatTables.h"
#include "pipeline/Loading.h"
#include "pipeline/Saving.h"
#include "pipeline/Watermarks.h"
#include "platform/ChildProcess.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Placeholders.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "settings/MessageCatalogue.h"

namespace {

// The reason behind an error, when the run knows it: one line on standard error, beside
// the console's own lines, which stay as they are.
std::string refusalReason;

void SayReason(const std::string& reason) {
  if (!reason.empty()) std::fprintf(stderr, "pixquillcmd: %s\n", reason.c_str());
}

ExitStatus Refuse(const std::string& message) {
  PrintRefusal(message);
  SayReason(std::exchange(refusalReason, {}));
  return ExitStatus::Refused;
}

std::optional<std::string> RefuseWithReason(const char* message, std::string reason) {
  refusalReason = std::move(reason);
  return message;
}

// What keeps `path` from being read as a file: the system's words, or empty when nothing.
std::string FileProblem(const std::string& path, bool folderWanted) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
  if (folderWanted != S_ISDIR(info.st_mode)) return path + ": " + std::strerror(folderWanted ? ENOTDIR : EISDIR);
  if (!folderWanted && info.st_size == 0) return path + ": the file is empty";
  return {};
}

// The request as the checks take it and leave it: the input becomes the file to convert,
// the output folder absolute, and the formats not given get their defaults.
struct RequestFields {
  std::string inputFile;
  std::string currentFile;
  std::string outputFolder;
  std::string outputExtension;
  std::string sourceFormat;
};

// Checks the input file and moves it from inputFile to currentFile.
std::optional<std::string> TakeInputFile(RequestFields& request) {
  if (FileExtension(request.inputFile).empty()) {
    std::string problem = FileProblem(request.inputFile, false);
    if (problem.empty()) problem = request.inputFile + ": the name has no extension such as .dng or .cr2";
    return RefuseWithReason("Invalid input file", std::move(problem));
  }
  request.currentFile = std::exchange(request.inputFile, {});
  if (FileSize(request.currentFile) <= 0)
    return RefuseWithReason("Invalid input file", FileProblem(request.currentFile, false));
  return std::nullopt;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// An existing file whose extension is not accepted: named with the accepted group.
std::string UnacceptedFileReason(const std::string& path) {
  std::string groups;
  for (const std::string& format : AcceptedInputFormats) groups += (groups.empty() ? "" : ", ") + format;
  return path + ": \"." + FileExtension(path) + "\" is not an accepted extension; accepted are those of the " + groups +
         " group: " + Joined(AcceptedInputExtensions);
}

// Relative folders are taken from the current directory, where the input is opened too.
// Without -o the JPEG goes into the input's own folder, which is never refused; a given
// folder that begins with ".." is refused rather than resolved. The folder is never created.
std::optional<std::string> NormaliseOutputFolder(RequestFields& request, bool debug) {
  std::string& folder = request.outputFolder;
  const bool given = !folder.empty();
  if (!given) folder = FolderPart(request.currentFile);
  if (debug) PrintLine("Output: " + folder);
  if (given && StartsWith(folder, ".."))
    return RefuseWithReason("Incorrect output folder", folder + ": an output folder may not begin with \"..\"");
  folder = AbsoluteFolder(folder, CurrentFolder());
  if (!IsFolder(folder)) return RefuseWithReason("Invalid output folder", FileProblem(folder, true));
  return std::nullopt;
}

std::optional<std::string> CheckWatermark(bool debug) {
  ReportWatermarkKind(debug);
  if (ConversionSettings.doWatermark == kWatermarkText) {
    ReportTextWatermark(debug);
    if (!CreateWatermarkFont(ConversionSettings)) return "Invalid watermark font";
  } else if (ConversionSettings.doWatermark == kWatermarkImage) {
    ReportImageWatermark(debug);
    if (FileSize(ConversionSettings.wmImage) <= 0) return "Invalid watermark image";
  }
  return std::nullopt;
}

// Every check of the request, in order, with the settings report of debug mode between
// them. Returns the message of the first failed check.
std::optional<std::string> CheckRequest(RequestFields& request, bool debug) {
  if (debug) PrintLine("Input: " + request.inputFile);
  if (auto error = TakeInputFile(request)) return error;
  if (auto error = NormaliseOutputFolder(request, debug)) return error;
  if (request.sourceFormat.empty()) request.sourceFormat = AcceptedInputFormats.front();
  request.outputExtension = OutputExtensionOrDefault(request.outputExtension);
  if (debug) PrintLine("Conversion: " + request.outputExtension);
  if (!IsAcceptedOutputFormat(request.outputExtension)) return "Invalid conversion type";
  ReportLoadOptions(request.sourceFormat, debug);
  if (auto error = CheckSaveOptions(request.outputExtension, debug)) return error;
  if (auto error = CheckTransforms(debug)) return error;
  ReportFrame(debug);
  if (auto error = CheckWatermark(debug)) return error;
  ReportNaming(debug);
  return std::nullopt;
}

void PrintStatus(bool quiet, const char* key, const char* group) {
  if (!quiet) PrintLine(Translate(key, group));
}

int32_t ImportInputFile() {
  std::string extension = ToLower(FileExtension(ConversionJob.currentFile));
  if (extension == "txt" || extension == "lst") return 0;  // lists are read by the windowed front end only
  return AddJobFile(ConversionJob.currentFile) ? 1 : 0;
}

// Whatever the worker throws (no memory left) ends the batch, its files counted as not
// converted.
void ConvertFiles() {
  try {
    ConversionWorker(0);
  } catch (...) {
  }
}

// When no thread can be started (a process limit, no memory for its stack) this thread
// does the work itself.
void RunWorkerThread() {
  std::thread worker;
  try {
    worker = std::thread(ConvertFiles);
  } catch (const std::system_error&) {
    KeepOpenMpOnThisThread();
    ConvertFiles();
    return;
  }
  worker.join();
}

int32_t RunWorker() {
  ResetConversionProgress();
  ConversionProgress.running = 1;
  InitialiseImageLibraries();
  RunWorkerThread();
  std::lock_guard<std::mutex> guard(progressLock);
  return ConversionProgress.convertedCount;
}

RequestFields JobRequest(std::string inputFile, std::string outputFolder) {
  return {std::move(inputFile), {}, std::move(outputFolder), ConversionJob.outputExtension, ConversionJob.sourceFormat};
}

// The run converts what the checks made of its request.
void KeepCheckedRequest(RequestFields request) {
  ConversionJob.inputFile.clear();
  ConversionJob.currentFile = std::move(request.currentFile);
  ConversionJob.outputFolder = std::move(request.outputFolder);
  ConversionJob.outputExtension = std::move(request.outputExtension);
  ConversionJob.sourceFormat = std::move(request.sourceFormat);
}

// The font lives from the watermark check to the end of the run.
struct WatermarkFontRelease {
  ~WatermarkFontRelease() {
    if (ConversionSettings.doWatermark == kWatermarkText) ReleaseWatermarkFont();
  }
};

}  // namespace

void FixSaveSettings() {
  const SaveSettings save = PrepareSaveSettings(ConversionJob.outputExtension, ConversionSettings);
  ConversionJob.saveFormat = save.saveFormat;
  ConversionJob.targetBpp = save.targetBpp;
  ConversionJob.saveFlags = save.saveFlags;
  ConversionJob.autoBpp = save.autoBpp;
}

ExitStatus RunConversion(bool quiet) {
  const bool debug = IsDebugRun();
  WatermarkFontRelease fontRelease;
  PrintStatus(quiet, "Preparing", "General");
  RequestFields request = JobRequest(ConversionJob.inputFile, ConversionJob.outputFolder);
  if (auto error = CheckRequest(request, debug)) return Refuse(*error);
  KeepCheckedRequest(std::move(request));
  FixSaveSettings();

  PrintStatus(quiet, "Importing", "General");
  int32_t added = ImportInputFile();
  ConversionProgress.convertedCount = added;
  if (!quiet) PrintLine(FillPlaceholders(Translate("Import complete", "Msg"), std::to_string(added)));
  if (added == 0) {
    PrintLine(Translate("Conversion is not complete", "Msg"));
    PrintLine(Translate("Empty input files", "Msg"));
    SayReason(UnacceptedFileReason(ConversionJob.currentFile));
    return ExitStatus::Stopped;
  }

  PrintStatus(quiet, "Converting", "General");
  int32_t converted = RunWorker();
  if (converted == 0) {
    PrintLine(Translate("Conversion is not complete", "Msg"));
    return ExitStatus::Stopped;
  }
  PrintStatus(quiet, "Conversion complete", "Msg");
  if (!quiet)
    PrintLine(FillPlaceholders(Translate("Files converted", "Msg"), std::to_string(converted), std::to_string(added)));
  return ExitStatus::Done;
}

RequestVerdict CheckConversionRequest(const std::string& inputFile, const std::string& outputFolder) {
  WatermarkFontRelease fontRelease;
  RequestFields request = JobRequest(inputFile, outputFolder);
  std::optional<std::string> error = CheckRequest(request, false);
  refusalReason.clear();
  if (error) return {std::move(error), {}};
  return {std::nullopt, std::move(request.outputFolder)};
}

bool AddJobFile(const std::string& path) {
  if (FileSize(path) == 0 || !IsAcceptedInputExtension(FileExtension(path))) return false;
  JobFileList.clear();
  JobFileEntry& entry = JobFileList[path];
  if (entry.added == 0) {
    entry.subfolder = SubfolderOf(path, ConversionJob.inputFile);
    entry.added = 1;
  }
  return true;
}
