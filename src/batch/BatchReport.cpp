#include "batch/BatchReport.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Console.h"
#include "platform/FilePtr.h"
#include "platform/Text.h"

namespace {

// Job log columns.
constexpr size_t kSeqColumn = 0;
constexpr size_t kHostColumn = 1;
constexpr size_t kExitColumn = 6;
constexpr size_t kSignalColumn = 7;
constexpr size_t kColumns = 9;
constexpr std::string_view kParallelError = "parallel: Error: ";

// A positive decimal job number; 0 for anything else.
size_t JobNumber(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<size_t>(std::strtoull(text.c_str(), nullptr, 10));
}

// Known once GNU parallel logged it and, when it ended well, it said how pixquillcmd ended.
bool Settled(const JobState& job) { return job.finished && (job.status || job.exitValue != 0 || job.signal != 0); }

bool Failed(const JobState& job) { return job.finished && !IsConverted(job); }

void ApplyJobLogLine(const std::string& line, BatchProgressRecord& progress) {
  std::vector<std::string> fields = SplitAt(line, "\t", kColumns);
  if (fields.size() < kColumns) return;
  const size_t number = JobNumber(fields[kSeqColumn]);
  if (number == 0 || number > progress.jobs.size()) return;
  JobState& job = progress.jobs[number - 1];
  job.finished = true;
  job.exitValue = std::atoi(fields[kExitColumn].c_str());
  job.signal = std::atoi(fields[kSignalColumn].c_str());
  job.host = fields[kHostColumn];
  if (IsConverted(job) && job.status) progress.output.erase(number);
}

size_t CountJobs(const BatchProgressRecord& progress, bool (*counted)(const JobState&)) {
  size_t count = 0;
  for (const JobState& job : progress.jobs) count += counted(job);
  return count;
}

bool Finished(const JobState& job) { return job.finished; }

std::string Plural(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string Duration(int64_t seconds) {
  if (seconds >= 3600) return std::to_string(seconds / 3600) + " h " + std::to_string(seconds % 3600 / 60) + " min";
  if (seconds >= 60) return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
  return std::to_string(seconds) + " s";
}

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// A run's time: tenths of a second below a minute, minutes above.
std::string RunTime(double seconds) {
  if (seconds < 59.95) return OneDecimal(seconds) + " s";
  return Duration(static_cast<int64_t>(seconds + 0.5));
}

// What GNU parallel knows when the conversion printed nothing.
std::string FallbackReason(const JobState& job) {
  if (job.signal != 0) return "Stopped by signal " + std::to_string(job.signal);
  if (job.exitValue < 0) return "Stopped";
  return "Exit status " + std::to_string(job.exitValue != 0 ? job.exitValue : job.status.value_or(0));
}

std::string SummaryLine(const std::vector<BatchFile>& files, const BatchProgressRecord& progress, double seconds) {
  const size_t total = progress.earlierConverted + files.size() + progress.notRun.size();
  return ConvertedSummary(CountJobs(progress, IsConverted), total, progress.earlierConverted, seconds);
}

void AddFailure(std::vector<std::string>& lines, const std::string& path, const std::vector<std::string>& reasons) {
  lines.push_back("Failed: " + EscapedText(path));
  for (const std::string& reason : reasons) lines.push_back("  " + reason);
}

void AddJobFailures(std::vector<std::string>& lines, const std::vector<BatchFile>& files,
                    const BatchProgressRecord& progress) {
  for (size_t i = 0; i < progress.jobs.size() && i < files.size(); ++i) {
    if (!Failed(progress.jobs[i])) continue;
    auto output = progress.output.find(i + 1);
    AddFailure(lines, files[i].input,
               output != progress.output.end() ? output->second : std::vector{FallbackReason(progress.jobs[i])});
  }
}

}  // namespace

std::string ConvertedSummary(size_t converted, size_t total, size_t earlier, double seconds) {
  const std::string done = "Converted " + std::to_string(earlier + converted) + " of " + Plural(total, "file");
  if (earlier == 0) return done + " in " + RunTime(seconds);
  return done + " in total, " + std::to_string(converted) + " of them in " + RunTime(seconds);
}

std::string DurationText(int64_t seconds) { return Duration(seconds); }

std::string MemoryText(int64_t bytes) {
  constexpr double kMiB = 1024.0 * 1024, kGiB = kMiB * 1024;
  const auto value = static_cast<double>(bytes);
  return value >= kGiB ? OneDecimal(value / kGiB) + " GiB" : OneDecimal(value / kMiB) + " MiB";
}

bool IsConverted(const JobState& job) {
  return job.finished && job.exitValue == 0 && job.signal == 0 && job.status.value_or(0) == 0;
}

void ApplyJobLogLines(const std::string& lines, BatchProgressRecord& progress) {
  for (const std::string& line : SplitAt(lines, "\n")) ApplyJobLogLine(line, progress);
}

std::string JobLogReader::ReadNewLines() {
  FilePtr file(std::fopen(path_.c_str(), "rb"));
  if (!file || std::fseek(file.get(), static_cast<long>(offset_), SEEK_SET) != 0) return {};
  std::string text;
  char buffer[8192];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) text.append(buffer, got);
  const size_t complete = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
  offset_ += static_cast<int64_t>(complete);
  return text.substr(0, complete);
}

void ApplyOutputLine(const std::string& line, BatchProgressRecord& progress) {
  const size_t tab = line.find('\t');
  const size_t number = tab == std::string::npos ? 0 : JobNumber(line.substr(0, tab));
  if (number == 0 || number > progress.jobs.size()) {
    progress.notices.push_back(line);
    return;
  }
  JobState& job = progress.jobs[number - 1];
  const std::string text = line.substr(tab + 1, line.find('\r', tab + 1) - tab - 1);
  if (StartsWith(text, kJobStatusMark)) {
    job.status = std::atoi(text.c_str() + kJobStatusMark.size());
    if (IsConverted(job)) progress.output.erase(number);
  } else if (!text.empty() && !(IsConverted(job) && job.status)) {
    progress.output[number].push_back(text);
  }
}

std::vector<size_t> TakeSettledJobs(BatchProgressRecord& progress, bool all) {
  std::vector<size_t> settled;
  for (size_t i = 0; i < progress.jobs.size(); ++i) {
    JobState& job = progress.jobs[i];
    if (job.logged || !(all ? job.finished : Settled(job))) continue;
    job.logged = true;
    settled.push_back(i);
  }
  return settled;
}

size_t ConvertedCount(const BatchProgressRecord& progress) {
  return progress.earlierConverted + CountJobs(progress, IsConverted);
}

bool EverythingConverted(const BatchProgressRecord& progress) {
  return CountJobs(progress, IsConverted) == progress.jobs.size() && progress.notRun.empty() &&
         progress.unreadable.empty() && progress.logError.empty();
}

std::string ProgressText(const BatchProgressRecord& progress, double seconds) {
  const size_t finished = CountJobs(progress, Finished);
  const size_t total = progress.earlierConverted + progress.jobs.size() + progress.notRun.size();
  std::string text = std::to_string(progress.earlierConverted + finished + progress.notRun.size()) + "/" +
                     std::to_string(total) + " files";
  if (const size_t failed = CountJobs(progress, Failed) + progress.notRun.size(); failed > 0)
    text += ", " + std::to_string(failed) + " failed";
  if (finished == 0 || seconds <= 0) return text;
  const double rate = static_cast<double>(finished) / seconds;
  const auto left = static_cast<int64_t>(static_cast<double>(progress.jobs.size() - finished) / rate + 0.5);
  return text + ", " + OneDecimal(rate) + " files/s, " + Duration(left) + " left";
}

std::string FitToWidth(const std::string& text, size_t columns) {
  if (columns == 0 || text.size() < columns) return text;
  return text.substr(0, columns - 1);
}

std::vector<std::string> ReportLines(const std::vector<BatchFile>& files, const BatchProgressRecord& progress,
                                     double seconds, bool quiet) {
  std::vector<std::string> lines;
  if (!quiet) lines.push_back(SummaryLine(files, progress, seconds));
  AddJobFailures(lines, files, progress);
  for (const FailedPath& file : progress.notRun) AddFailure(lines, file.path, {file.reason});
  for (const FailedPath& folder : progress.unreadable)
    AddFailure(lines, folder.path, {"The folder could not be read: " + folder.reason});
  const size_t notRun = progress.jobs.size() - CountJobs(progress, Finished);
  if (notRun > 0)
    lines.push_back("Not converted yet: " + Plural(notRun, "file") + " (run the same command with --resume)");
  if (!progress.logError.empty())
    lines.push_back(RefusalLine("The job log could not be written, so --resume would convert again what it misses: " +
                                progress.logError));
  for (const std::string& notice : progress.notices)
    if (StartsWith(notice, kParallelError)) lines.push_back(RefusalLine(notice.substr(kParallelError.size())));
  return lines;
}
