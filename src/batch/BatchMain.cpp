#include "batch/BatchMain.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string_view>

#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/BatchRun.h"
#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "cli/ConsoleMain.h"
#include "cli/MessageCatalogue.h"
#include "cli/OptionTable.h"
#include "cli/ProductText.h"
#include "convert/ConversionJob.h"
#include "convert/Driver.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/FilePtr.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr size_t kClashesShown = 20;
constexpr const char* kJobLogName = ".pixquillbatch-joblog";
constexpr int64_t kFolderSize = -2;

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) PrintLine(line);
}

int Refuse(const std::string& message) {
  PrintLine("Error: " + message);
  return kExitRefused;
}

int ShowHelp(int status) {
  PrintLines(BatchHelpLines());
  return status;
}

// Arguments that are no option and no option's value name inputs, and so does -i.
std::vector<std::string> InputPaths(const ScanResult& scan) {
  std::vector<bool> taken(CommandLine.size(), false);
  for (const ScannedOption& option : scan.options)
    for (size_t i = option.first; i <= option.last && i < taken.size(); ++i) taken[i] = true;
  std::vector<std::string> paths;
  for (size_t i = 0; i < CommandLine.size(); ++i)
    if (!taken[i] && ParameterName(i).empty()) paths.push_back(CommandLine[i]);
  if (!ConversionJob.inputFile.empty()) paths.push_back(ConversionJob.inputFile);
  return paths;
}

// The options every job repeats: all but the input, the output folder and the pause.
std::vector<std::string> JobOptions(const ScanResult& scan) {
  std::vector<std::string> options;
  for (const ScannedOption& option : scan.options) {
    const OptionTarget target = option.row->target;
    if (target == OptionTarget::InputFile || target == OptionTarget::OutputFolder || target == OptionTarget::Pause)
      continue;
    for (size_t i = option.first; i <= option.last && i < CommandLine.size(); ++i) options.push_back(CommandLine[i]);
  }
  return options;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FilePtr file(path == "-" ? fdopen(dup(STDIN_FILENO), "rb") : std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::string text;
  char buffer[8192];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) text.append(buffer, got);
  return text;
}

// The file the request is checked with: the first that passes the input checks, so that
// a missing file fails its own conversion instead of refusing the whole batch.
const BatchFile& RepresentativeFile(const std::vector<BatchFile>& files) {
  for (const BatchFile& file : files)
    if (!FileExtension(file.input).empty() && FileSize(file.input) > 0) return file;
  return files.front();
}

// Relative output folders are taken from the current folder; one that begins with ".." is
// left for the check to refuse.
std::string OutputFolderToCheck(const std::string& given) {
  if (given.empty() || StartsWith(given, "..")) return given;
  return AbsolutePath(given);
}

// Output folders that do not exist yet, parents before their subfolders.
std::vector<std::string> MissingFolders(const std::vector<BatchFile>& files) {
  std::set<std::string> missing;
  for (const BatchFile& file : files)
    for (std::string folder = file.outputFolder; folder.size() > 1 && FileSize(folder) != kFolderSize;
         folder = FolderPart(folder).substr(0, FolderPart(folder).size() - 1))
      missing.insert(folder);
  return {missing.begin(), missing.end()};
}

// Removes what a run that never started made: the folders, deepest first (only while
// empty), and a job log that no earlier run left.
void RemoveUnused(const std::vector<std::string>& folders, const ParallelRequest& request) {
  if (!request.settings.resume) std::remove(request.jobLog.c_str());
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) rmdir(folder->c_str());
}

std::string LocalProgram() {
  const std::string beside = FolderPart(ProgramPath()) + "pixquillcmd";
  return FileSize(beside) > 0 ? beside : "pixquillcmd";
}

std::string JobLogPath(const BatchSettingsRecord& settings, const std::string& outputFolder) {
  if (!settings.jobLog.empty()) return AbsolutePath(settings.jobLog);
  return (outputFolder.empty() ? CurrentFolder() : outputFolder + "/") + kJobLogName;
}

ParallelRequest MakeParallelRequest(const BatchSettingsRecord& settings, const ScanResult& scan,
                                    const std::vector<BatchFile>& files, const std::string& outputFolder) {
  ParallelRequest request;
  request.settings = settings;
  request.jobOptions = JobOptions(scan);
  request.program = LocalProgram();
  request.jobLog = JobLogPath(settings, outputFolder);
  request.memFree = settings.memFree.empty()
                        ? DefaultMemFree(settings, MemoryPerJob(LargestInputSize(files), ConversionSettings.rawLoadAs))
                        : (settings.memFree == "0" ? "" : settings.memFree);
  return request;
}

// An earlier run's log is read first when resuming, and removed otherwise, so that the
// progress counts only what this run does.
void PrepareJobLog(const ParallelRequest& request, BatchProgressRecord& progress) {
  if (!request.settings.resume) {
    std::remove(request.jobLog.c_str());
    return;
  }
  if (std::optional<std::string> earlier = ReadWholeFile(request.jobLog)) ApplyJobLogLines(*earlier, progress, false);
}

// GNU parallel refused its command line (a malformed -j or -S, a missing login file): its
// error lines without its name; its usage text and notices stay out.
int RefuseWithParallelErrors(const std::vector<std::string>& notices) {
  constexpr std::string_view kErrorPrefix = "parallel: Error: ";
  size_t reported = 0;
  for (const std::string& line : notices) {
    if (!StartsWith(line, kErrorPrefix)) continue;
    PrintLine("Error: " + line.substr(kErrorPrefix.size()));
    ++reported;
  }
  return reported > 0 ? kExitRefused : Refuse("GNU parallel could not be started");
}

int RunBatch(const ParallelRequest& request, const std::vector<BatchFile>& files, const ScanResult& scan,
             const std::vector<std::string>& madeFolders) {
  BatchProgressRecord progress;
  progress.jobs.resize(files.size());
  PrepareJobLog(request, progress);
  const int64_t start = MonotonicMilliseconds();
  ParallelOutcome outcome = RunParallel(request, files, progress, !scan.quiet && isatty(STDERR_FILENO));
  const bool startFailed = outcome.exitStatus == 127 || (outcome.exitStatus == 255 && !outcome.interrupted);
  if (startFailed && progress.finishedThisRun == 0) {
    RemoveUnused(madeFolders, request);
    return RefuseWithParallelErrors(progress.notices);
  }
  const double seconds = static_cast<double>(MonotonicMilliseconds() - start) / 1000.0;
  PrintLines(ReportLines(files, progress, seconds, scan.quiet));
  if (scan.pause) {
    PrintLine("Press any key to exit.");
    WaitForKey();
  }
  return ConvertedCount(progress) == files.size() ? kExitDone : kExitFailed;
}

int ConvertFiles(const BatchSettingsRecord& settings, const ScanResult& scan, std::vector<BatchFile> files) {
  const bool outputGiven = !ConversionJob.outputFolder.empty();
  ConversionJob.outputFolder = OutputFolderToCheck(ConversionJob.outputFolder);
  ConversionJob.inputFile = RepresentativeFile(files).input;
  if (std::optional<std::string> error = CheckConversionRequest()) return Refuse(*error);
  std::string outputFolder = outputGiven ? AbsolutePath(ConversionJob.outputFolder) : "";
  if (outputFolder.size() > 1 && outputFolder.back() == '/') outputFolder.pop_back();
  AssignOutputFolders(files, outputFolder, ConversionSettings.keepSubfolders != 0);
  std::vector<OutputClash> clashes = FindOutputClashes(files);
  if (!clashes.empty()) {
    PrintLines(ClashReportLines(clashes, kClashesShown));
    return kExitRefused;
  }
  const std::vector<std::string> madeFolders = MissingFolders(files);
  for (const std::string& folder : madeFolders)
    if (!MakeFolders(folder)) return Refuse("Invalid output folder");
  return RunBatch(MakeParallelRequest(settings, scan, files, outputFolder), files, scan, madeFolders);
}

int NoInputFiles() {
  PrintLine(Translate("Conversion is not complete", "Msg"));
  PrintLine(Translate("Empty input files", "Msg"));
  return kExitFailed;
}

}  // namespace

int BatchMain(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return ShowHelp(kExitDone);
  BatchArguments split = SplitBatchArguments(args);
  if (!split.errorMessage.empty()) return Refuse(split.errorMessage);
  if (split.settings.help) return ShowHelp(kExitDone);
  if (split.settings.version) {
    PrintLine("pixquillbatch " + VersionText(programVersion));
    return kExitDone;
  }
  PrepareConsoleRun();
  CommandLine = split.rest;
  const ScanResult scan = ScanArguments();
  if (!scan.errorMessage.empty()) return Refuse(scan.errorMessage);
  std::vector<std::string> paths = InputPaths(scan);
  if (!split.settings.filesFrom.empty()) {
    std::optional<std::string> list = ReadWholeFile(split.settings.filesFrom);
    if (!list) return Refuse("Invalid input file");
    for (std::string& path : SplitPathList(*list, split.settings.nullSeparated)) paths.push_back(std::move(path));
  }
  if (paths.empty()) return ShowHelp(kExitRefused);
  std::vector<BatchFile> files = CollectBatchFiles(paths);
  if (files.empty()) return NoInputFiles();
  return ConvertFiles(split.settings, scan, std::move(files));
}
