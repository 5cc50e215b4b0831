#include "convert/Driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "cli/MessageCatalogue.h"
#include "cli/Placeholders.h"
#include "convert/ConversionJob.h"
#include "convert/SettingsReport.h"
#include "convert/Worker.h"
#include "formats/FormatTables.h"
#include "pipeline/Loading.h"
#include "pipeline/Saving.h"
#include "pipeline/Watermarks.h"
#include "platform/ChildProcess.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"

namespace {

// The reason behind an error, when the run knows it: one line on standard error, beside
// the console's own lines, which stay as they are.
std::string refusalReason;

void SayReason(const std::string& reason) {
  if (!reason.empty()) std::fprintf(stderr, "pixquillcmd: %s\n", reason.c_str());
}

RunOutcome Refuse(const std::string& message) {
  PrintLine("Error: " + message);
  SayReason(std::exchange(refusalReason, {}));
  return RunOutcome::Refused;
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

// Checks the input file and moves it from inputFile to currentFile.
std::optional<std::string> TakeInputFile() {
  if (FileExtension(ConversionJob.inputFile).empty()) {
    std::string problem = FileProblem(ConversionJob.inputFile, false);
    if (problem.empty()) problem = ConversionJob.inputFile + ": the name has no extension such as .dng or .cr2";
    ConversionJob.inputFile.clear();
    return RefuseWithReason("Invalid input file", std::move(problem));
  }
  ConversionJob.currentFile = ConversionJob.inputFile;
  ConversionJob.inputFile.clear();
  if (FileSize(ConversionJob.currentFile) <= 0)
    return RefuseWithReason("Invalid input file", FileProblem(ConversionJob.currentFile, false));
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
std::optional<std::string> NormaliseOutputFolder(bool debug) {
  std::string& folder = ConversionJob.outputFolder;
  const bool given = !folder.empty();
  if (!given) folder = FolderPart(ConversionJob.currentFile);
  if (debug) PrintLine("Output: " + folder);
  if (given && StartsWith(folder, ".."))
    return RefuseWithReason("Incorrect output folder", folder + ": an output folder may not begin with \"..\"");
  folder = AbsoluteFolder(folder, CurrentFolder());
  if (FileSize(folder) != -2) return RefuseWithReason("Invalid output folder", FileProblem(folder, true));
  return std::nullopt;
}

std::optional<std::string> CheckWatermark(bool debug) {
  ReportWatermarkKind(debug);
  if (ConversionSettings.doWatermark == kWatermarkText) {
    ReportTextWatermark(debug);
    if (!CreateWatermarkFont()) return "Invalid watermark font";
  } else if (ConversionSettings.doWatermark == kWatermarkImage) {
    ReportImageWatermark(debug);
    if (FileSize(ConversionSettings.wmImage) <= 0) return "Invalid watermark image";
  }
  return std::nullopt;
}

// Every check of the request, in order, with the settings report of debug mode between
// them. Returns the message of the first failed check.
std::optional<std::string> CheckRequest(bool debug) {
  if (debug) PrintLine("Input: " + ConversionJob.inputFile);
  if (auto error = TakeInputFile()) return error;
  if (auto error = NormaliseOutputFolder(debug)) return error;
  if (ConversionJob.sourceFormat.empty()) ConversionJob.sourceFormat = AcceptedInputFormats.front();
  if (ConversionJob.outputExtension.empty()) ConversionJob.outputExtension = AcceptedOutputFormats.front();
  if (debug) PrintLine("Conversion: " + ConversionJob.outputExtension);
  if (!IsAcceptedOutputFormat(ConversionJob.outputExtension)) return "Invalid conversion type";
  ReportLoadOptions(ConversionJob.sourceFormat, debug);
  if (auto error = CheckSaveOptions(ConversionJob.outputExtension, debug)) return error;
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

// The font lives from the watermark check to the end of the run.
struct WatermarkFontRelease {
  ~WatermarkFontRelease() {
    if (ConversionSettings.doWatermark == kWatermarkText) ReleaseWatermarkFont();
  }
};

}  // namespace

void FixSaveSettings() {
  const SaveSettings save = PrepareSaveSettings(ConversionJob.outputExtension);
  ConversionJob.saveFormat = save.saveFormat;
  ConversionJob.targetBpp = save.targetBpp;
  ConversionJob.saveFlags = save.saveFlags;
  ConversionJob.autoBpp = save.autoBpp;
}

RunOutcome RunConversion(bool quiet) {
  const bool debug = IsDebugRun();
  WatermarkFontRelease fontRelease;
  PrintStatus(quiet, "Preparing", "General");
  if (auto error = CheckRequest(debug)) return Refuse(*error);
  FixSaveSettings();

  PrintStatus(quiet, "Importing", "General");
  int32_t added = ImportInputFile();
  ConversionProgress.convertedCount = added;
  if (!quiet) PrintLine(FillPlaceholders(Translate("Import complete", "Msg"), std::to_string(added)));
  if (added == 0) {
    PrintLine(Translate("Conversion is not complete", "Msg"));
    PrintLine(Translate("Empty input files", "Msg"));
    SayReason(UnacceptedFileReason(ConversionJob.currentFile));
    return RunOutcome::Stopped;
  }

  PrintStatus(quiet, "Converting", "General");
  int32_t converted = RunWorker();
  if (converted == 0) {
    PrintLine(Translate("Conversion is not complete", "Msg"));
    return RunOutcome::Stopped;
  }
  PrintStatus(quiet, "Conversion complete", "Msg");
  if (!quiet)
    PrintLine(FillPlaceholders(Translate("Files converted", "Msg"), std::to_string(converted), std::to_string(added)));
  return RunOutcome::Converted;
}

std::optional<std::string> CheckConversionRequest() {
  WatermarkFontRelease fontRelease;
  std::optional<std::string> error = CheckRequest(false);
  refusalReason.clear();
  return error;
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

std::string AbsoluteFolder(std::string folder, const std::string& currentFolder) {
  const bool relative = !StartsWith(folder, "/");
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  if (!relative) return folder + "/";
  if (currentFolder.empty()) return {};
  if (folder == "." || StartsWith(folder, "./") || StartsWith(folder, ".\\")) folder.erase(0, 2);
  return folder.empty() ? currentFolder : currentFolder + folder + "/";
}

std::string SubfolderOf(const std::string& path, const std::string& baseFolder) {
  if (path.empty() || baseFolder.empty()) return {};
  std::string folder = FolderPart(path);
  if (folder.find(baseFolder) == std::string::npos) return {};
  std::string subfolder;
  size_t pos = 0;
  for (size_t hit; (hit = folder.find(baseFolder, pos)) != std::string::npos; pos = hit + baseFolder.size())
    subfolder += folder.substr(pos, hit - pos);
  return subfolder + folder.substr(pos);
}
