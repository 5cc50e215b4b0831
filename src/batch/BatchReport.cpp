#include "batch/BatchReport.h"

#include <cstdio>
#include <cstdlib>

#include "platform/FilePtr.h"

namespace {

// Job log columns.
constexpr size_t kSeqColumn = 0;
constexpr size_t kExitColumn = 6;
constexpr size_t kSignalColumn = 7;
constexpr size_t kColumns = 9;

std::vector<std::string> SplitAt(const std::string& text, char separator, size_t maxFields) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; fields.size() + 1 < maxFields && (end = text.find(separator, start)) != std::string::npos;
       start = end + 1)
    fields.push_back(text.substr(start, end - start));
  fields.push_back(text.substr(start));
  return fields;
}

// A positive decimal job number; 0 for anything else.
size_t JobNumber(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<size_t>(std::strtoull(text.c_str(), nullptr, 10));
}

bool Converted(const JobState& job) { return job.finished && job.exitValue == 0 && job.signal == 0; }

void ApplyJobLogLine(const std::string& line, BatchProgressRecord& progress, bool thisRun) {
  std::vector<std::string> fields = SplitAt(line, '\t', kColumns);
  if (fields.size() < kColumns) return;
  const size_t number = JobNumber(fields[kSeqColumn]);
  if (number == 0 || number > progress.jobs.size()) return;
  JobState& job = progress.jobs[number - 1];
  job = {true, std::atoi(fields[kExitColumn].c_str()), std::atoi(fields[kSignalColumn].c_str())};
  if (thisRun) ++progress.finishedThisRun;
  if (Converted(job)) progress.output.erase(number);
}

size_t FinishedCount(const BatchProgressRecord& progress) {
  size_t finished = 0;
  for (const JobState& job : progress.jobs) finished += job.finished;
  return finished;
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

// What GNU parallel knows when the conversion printed nothing.
std::string FallbackReason(const JobState& job) {
  if (job.signal != 0) return "Stopped by signal " + std::to_string(job.signal);
  if (job.exitValue < 0) return "Stopped";
  return "Exit status " + std::to_string(job.exitValue);
}

}  // namespace

void ApplyJobLogLines(const std::string& lines, BatchProgressRecord& progress, bool thisRun) {
  for (const std::string& line : SplitAt(lines, '\n', lines.size() + 1)) ApplyJobLogLine(line, progress, thisRun);
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
  if (tab + 1 < line.size() && !Converted(progress.jobs[number - 1]))
    progress.output[number].push_back(line.substr(tab + 1));
}

size_t ConvertedCount(const BatchProgressRecord& progress) {
  size_t converted = 0;
  for (const JobState& job : progress.jobs) converted += Converted(job);
  return converted;
}

std::string ProgressText(const BatchProgressRecord& progress, double seconds) {
  const size_t finished = FinishedCount(progress);
  std::string text = std::to_string(finished) + "/" + std::to_string(progress.jobs.size()) + " files";
  if (progress.finishedThisRun == 0 || seconds <= 0) return text;
  const double rate = static_cast<double>(progress.finishedThisRun) / seconds;
  const auto left = static_cast<int64_t>(static_cast<double>(progress.jobs.size() - finished) / rate + 0.5);
  return text + ", " + OneDecimal(rate) + " files/s, " + Duration(left) + " left";
}

std::vector<std::string> ReportLines(const std::vector<BatchFile>& files, const BatchProgressRecord& progress,
                                     double seconds, bool quiet) {
  std::vector<std::string> lines;
  const size_t converted = ConvertedCount(progress);
  if (!quiet)
    lines.push_back("Converted " + std::to_string(converted) + " of " + std::to_string(files.size()) + " files in " +
                    OneDecimal(seconds) + " s");
  for (size_t i = 0; i < progress.jobs.size() && i < files.size(); ++i) {
    const JobState& job = progress.jobs[i];
    if (!job.finished || Converted(job)) continue;
    lines.push_back("Failed: " + files[i].input);
    auto output = progress.output.find(i + 1);
    if (output == progress.output.end())
      lines.push_back("  " + FallbackReason(job));
    else
      for (const std::string& line : output->second) lines.push_back("  " + line);
  }
  const size_t notRun = progress.jobs.size() - FinishedCount(progress);
  if (notRun > 0)
    lines.push_back("Not converted yet: " + std::to_string(notRun) + " files (run the same command with --resume)");
  return lines;
}
