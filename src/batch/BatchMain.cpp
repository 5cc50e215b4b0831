#include "batch/BatchMain.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "batch/BatchInputs.h"
#include "batch/BatchLog.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/BatchRun.h"
#include "batch/BatchSteps.h"
#include "batch/BatchWatch.h"
#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "cli/ConsoleMain.h"
#include "cli/OptionTable.h"
#include "cli/ProductText.h"
#include "convert/ConversionJob.h"
#include "convert/Driver.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/ExitStatus.h"
#include "platform/FilePtr.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Machine.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "settings/MessageCatalogue.h"

namespace {

constexpr size_t kNamesShown = 20;

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) PrintLine(line);
}

ExitStatus Refuse(const std::string& message) {
  PrintRefusal(message);
  return ExitStatus::Refused;
}

ExitStatus ShowHelp(ExitStatus status) {
  PrintLines(BatchHelpLines());
  return status;
}

// The arguments that options of the scan took, as their names or values.
std::vector<bool> TakenArguments(const ScanResult& scan) {
  std::vector<bool> taken(scan.arguments.size(), false);
  for (const ScannedOption& option : scan.options)
    for (size_t i = option.first; i <= option.last && i < taken.size(); ++i) taken[i] = true;
  return taken;
}

// Arguments that are no option and no option's value name inputs, and so does -i.
std::vector<std::string> InputPaths(const ScanResult& scan) {
  const std::vector<bool> taken = TakenArguments(scan);
  std::vector<std::string> paths;
  for (size_t i = 0; i < scan.arguments.size(); ++i)
    if (!taken[i] && ArgumentName(scan.arguments[i]).empty()) paths.push_back(scan.arguments[i]);
  if (!ConversionJob.inputFile.empty()) paths.push_back(ConversionJob.inputFile);
  return paths;
}

// An argument that looks like an option but is neither a batch option nor one of
// pixquillcmd's: nothing has been converted yet, so the batch stops rather than ignore it.
std::optional<std::string> UnknownOption(const ScanResult& scan) {
  const std::vector<bool> taken = TakenArguments(scan);
  for (size_t i = 0; i < scan.arguments.size(); ++i) {
    const std::string& argument = scan.arguments[i];
    if (taken[i] || ArgumentName(argument).empty()) continue;
    std::string message = "Unknown option " + EscapedText(argument);
    const std::string name = ToLower(argument.substr(0, argument.find('=')));
    for (const BatchOptionRow& row : BatchOptionTable())
      if (name == row.name) message += " (did you mean " + std::string(row.name) + "?)";
    return message;
  }
  return std::nullopt;
}

// The whole file, or the system's reason why it cannot be read (a folder reads as one).
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& reason) {
  FilePtr file(path == "-" ? fdopen(dup(STDIN_FILENO), "rb") : std::fopen(path.c_str(), "rb"));
  if (!file) {
    reason = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) text.append(buffer, got);
  if (std::ferror(file.get())) {
    reason = std::strerror(errno);
    return std::nullopt;
  }
  return text;
}

// The file the request is checked with: the first that passes the input checks, so that
// a missing file fails its own conversion instead of refusing the whole batch.
const BatchFile& RepresentativeFile(const std::vector<BatchFile>& files) {
  for (const BatchFile& file : files)
    if (!FileExtension(file.input).empty() && FileSize(file.input) > 0) return file;
  return files.front();
}

// GNU parallel refused its command line (a missing login file and the like): its error
// lines without its name; its usage text and notices stay out.
ExitStatus RefuseWithParallelErrors(const std::vector<std::string>& notices) {
  constexpr std::string_view kErrorPrefix = "parallel: Error: ";
  size_t reported = 0;
  for (const std::string& line : notices) {
    if (!StartsWith(line, kErrorPrefix)) continue;
    PrintRefusal(line.substr(kErrorPrefix.size()));
    ++reported;
  }
  return reported > 0 ? ExitStatus::Refused : Refuse("GNU parallel could not be started");
}

std::vector<std::string> ListedRefusal(const std::string& message, const std::vector<std::string>& names) {
  std::vector<std::string> lines = {RefusalLine(message)};
  for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) lines.push_back("  " + EscapedText(names[i]));
  if (names.size() > kNamesShown) lines.push_back("  and " + std::to_string(names.size() - kNamesShown) + " more");
  return lines;
}

struct BatchPlan {
  const BatchSettingsRecord& settings;
  const ScanResult& scan;
  std::vector<BatchFile> files;  // the files this run converts
  BatchProgressRecord progress;
  JobLogFile log;
  std::string options;  // as the log records them
};

ExitStatus Finish(BatchPlan& plan, double seconds, int stopSignal) {
  PrintLines(ReportLines(plan.files, plan.progress, seconds, plan.scan.quiet));
  if (plan.scan.pause) {
    PrintLine("Press any key to exit.");
    WaitForKey();
  }
  if (stopSignal == SIGINT) return ExitStatus::Interrupted;
  return EverythingConverted(plan.progress) ? ExitStatus::Done : ExitStatus::Stopped;
}

// Makes the missing output folders; on failure removes those it made and names the cause.
std::optional<std::vector<std::string>> MakeOutputFolders(const std::vector<BatchFile>& files) {
  const std::vector<std::string> missing = MissingOutputFolders(files);
  for (size_t made = 0; made < missing.size(); ++made) {
    if (MakeFolders(missing[made])) continue;
    const std::string reason = std::strerror(errno);
    for (size_t i = made; i-- > 0;) rmdir(missing[i].c_str());
    PrintLines({RefusalLine("Invalid output folder"), "  " + EscapedText(missing[made]) + ": " + reason});
    return std::nullopt;
  }
  return missing;
}

ExitStatus RunFiles(BatchPlan& plan) {
  const int64_t start = MonotonicMilliseconds();
  if (plan.files.empty()) return Finish(plan, 0, 0);
  const std::optional<std::vector<std::string>> madeFolders = MakeOutputFolders(plan.files);
  if (!madeFolders) return ExitStatus::Refused;
  PrivateFolder privateFolder;
  ParallelRequest request;
  request.settings = plan.settings;
  request.jobOptions = JobOptions(plan.scan);
  request.program = LocalProgram();
  request.jobLog = privateFolder.path + "/parallel-joblog";
  request.jobs = CappedJobs(plan.settings.jobs, plan.files.size());
  const MemoryPlan memory = PlanMemory(plan.files, plan.settings, request.jobs, ConversionSettings.rawLoadAs,
                                       PhysicalMemoryBytes(), FreeMemoryBytes());
  request.memFree = memory.memFree;
  if (const char* home = std::getenv("HOME"); !home || home[0] != '/') request.home = privateFolder.path;
  plan.progress.notRun = memory.tooLarge;
  plan.files = memory.files;
  if (plan.files.empty()) return Finish(plan, 0, 0);
  plan.progress.jobs.resize(plan.files.size());
  const bool showProgress = !plan.scan.quiet && isatty(STDERR_FILENO);
  ParallelOutcome outcome = RunParallel(request, plan.files, plan.progress, showProgress, plan.log, plan.options);
  const bool startFailed = outcome.exitStatus == 127 || (outcome.exitStatus == 255 && outcome.stopSignal == 0);
  bool anyFinished = false;
  for (const JobState& job : plan.progress.jobs) anyFinished = anyFinished || job.finished;
  if (startFailed && !anyFinished) {
    for (auto folder = madeFolders->rbegin(); folder != madeFolders->rend(); ++folder) rmdir(folder->c_str());
    if (!plan.settings.resume) std::remove(plan.log.path.c_str());
    return RefuseWithParallelErrors(plan.progress.notices);
  }
  return Finish(plan, static_cast<double>(MonotonicMilliseconds() - start) / 1000.0, outcome.stopSignal);
}

// Opens the log and leaves out of `plan.files` what an earlier run converted.
std::optional<std::string> OpenLogAndResume(BatchPlan& plan, const std::string& outputFolder) {
  const std::optional<std::string> path = JobLogPath(plan.settings, outputFolder);
  if (!path) return "No folder for the job log: neither HOME nor XDG_STATE_HOME is set (give --joblog=FILE)";
  if (std::optional<std::string> error = CheckJobLogPath(*path, plan.files)) return error;
  if (std::optional<std::string> error = OpenJobLog(*path, plan.settings.resume, plan.log)) return error;
  plan.options = OptionsText(JobOptions(plan.scan));
  const std::set<size_t> converted = ConvertedBefore(plan.log.earlier, plan.files, plan.options);
  std::vector<BatchFile> left;
  for (size_t i = 0; i < plan.files.size(); ++i)
    if (!converted.count(i)) left.push_back(std::move(plan.files[i]));
  plan.files = std::move(left);
  plan.progress.earlierConverted = converted.size();
  return std::nullopt;
}

// Every check that can refuse the batch before anything is made: the output names, what
// a transfer can carry, the job log.
std::optional<std::vector<std::string>> CheckPlannedFiles(const BatchPlan& plan) {
  if (std::optional<std::string> name = NameLeavingOutputFolder(plan.files))
    return std::vector<std::string>{RefusalLine("The file name mask gives " + EscapedText(*name) +
                                                ", which leaves the output folder; nothing was converted")};
  std::vector<OutputClash> clashes = FindOutputClashes(plan.files);
  if (!clashes.empty()) return ClashReportLines(clashes, kNamesShown);
  if (JobPlaceOf(plan.settings) != JobPlace::Transferred) return std::nullopt;
  std::vector<std::string> untransferable = UntransferableInputs(plan.files);
  if (untransferable.empty()) return std::nullopt;
  return ListedRefusal("Names with a line break cannot be sent to other machines; nothing was converted",
                       untransferable);
}

ExitStatus ConvertFiles(BatchPlan& plan) {
  const std::string& given = ConversionJob.outputFolder;
  const bool outputGiven = !given.empty();
  const std::string& representative = RepresentativeFile(plan.files).input;
  // Without -o each job is given its input's own folder, ending in "/." so that a "\" at
  // the end of a folder name stays part of it.
  const RequestVerdict verdict = CheckConversionRequest(
      representative, outputGiven ? OutputFolderToCheck(given) : ParentFolder(representative) + ".");
  if (verdict.error) return Refuse(*verdict.error);
  std::string outputFolder = outputGiven ? AbsolutePath(verdict.outputFolder) : "";
  if (outputFolder.size() > 1 && outputFolder.back() == '/') outputFolder.pop_back();
  AssignOutputFolders(plan.files, outputFolder, ConversionSettings.keepSubfolders != 0);
  if (std::optional<std::vector<std::string>> refusal = CheckPlannedFiles(plan)) {
    PrintLines(*refusal);
    return ExitStatus::Refused;
  }
  if (std::optional<std::string> error = OpenLogAndResume(plan, outputFolder)) return Refuse(*error);
  return RunFiles(plan);
}

ExitStatus NoInputFiles(const std::vector<UnreadableFolder>& unreadable) {
  PrintLine(Translate("Conversion is not complete", "Msg"));
  PrintLine(Translate("Empty input files", "Msg"));
  for (const UnreadableFolder& folder : unreadable)
    PrintLines({"Failed: " + EscapedText(folder.path), "  The folder could not be read: " + folder.reason});
  return ExitStatus::Stopped;
}

// The PATHs of --files-from added to `paths`; the refusal when the list cannot be read.
std::optional<std::string> AddListedPaths(const BatchSettingsRecord& settings, std::vector<std::string>& paths) {
  if (settings.filesFrom.empty()) return std::nullopt;
  std::string reason;
  const std::optional<std::string> list = ReadWholeFile(settings.filesFrom, reason);
  const std::string named = "--files-from=" + EscapedText(settings.filesFrom);
  if (!list) return "Invalid input file list " + named + ": " + reason;
  std::vector<std::string> listed = SplitPathList(*list, settings.nullSeparated);
  if (listed.empty() && paths.empty()) return "No input files: " + named + " names none";
  paths.insert(paths.end(), listed.begin(), listed.end());
  return std::nullopt;
}

ExitStatus PlanBatch(const BatchSettingsRecord& settings, const std::vector<std::string>& arguments) {
  const ScanResult scan = ScanArguments(arguments);
  if (!scan.errorMessage.empty()) return Refuse(scan.errorMessage);
  if (std::optional<std::string> unknown = UnknownOption(scan)) return Refuse(*unknown);
  if (std::optional<std::string> error = CheckBatchSettings(settings, PhysicalMemoryBytes())) return Refuse(*error);
  std::vector<std::string> paths = InputPaths(scan);
  if (std::optional<std::string> error = AddListedPaths(settings, paths)) return Refuse(*error);
  if (!settings.watch.empty()) return WatchFolder(settings, scan, paths);
  if (paths.empty()) return ShowHelp(ExitStatus::Refused);
  BatchPlan plan{settings, scan, {}, {}, {}, {}};
  std::vector<UnreadableFolder> unreadable;
  plan.files = CollectBatchFiles(paths, &unreadable);
  if (plan.files.empty()) return NoInputFiles(unreadable);
  for (UnreadableFolder& folder : unreadable) plan.progress.unreadable.push_back({folder.path, folder.reason});
  return ConvertFiles(plan);
}

ExitStatus RunBatch(const std::vector<std::string>& args) {
  if (args.empty()) return ShowHelp(ExitStatus::Done);
  BatchArguments split = SplitBatchArguments(args);
  if (!split.errorMessage.empty()) return Refuse(split.errorMessage);
  if (split.settings.help) return ShowHelp(ExitStatus::Done);
  if (split.settings.version) {
    PrintLine("pixquillbatch " + VersionText(programVersion));
    return ExitStatus::Done;
  }
  PrepareConsoleRun();
  return PlanBatch(split.settings, split.rest);
}

}  // namespace

int BatchMain(int argc, char** argv) { return ExitCode(RunBatch(std::vector<std::string>(argv + 1, argv + argc))); }
