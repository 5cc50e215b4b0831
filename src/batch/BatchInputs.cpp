#include "batch/BatchInputs.h"

#include <algorithm>
#include <map>
#include <set>

#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "pipeline/Naming.h"
#include "platform/Files.h"
#include "platform/Folders.h"

namespace {

constexpr int64_t kFolderSize = -2;

void AddFolder(const std::string& folder, std::vector<BatchFile>& files) {
  const size_t prefix = folder.back() == '/' ? folder.size() : folder.size() + 1;
  for (const std::string& path : FilesBelow(folder)) {
    if (!IsAcceptedInputExtension(FileExtension(path))) continue;
    const std::string subfolder = FolderPart(path.substr(prefix));
    files.push_back({path, subfolder, ""});
  }
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::vector<BatchFile> CollectBatchFiles(const std::vector<std::string>& paths) {
  std::vector<BatchFile> files;
  for (const std::string& path : paths) {
    const std::string absolute = WithoutTrailingSeparator(AbsolutePath(path));
    if (FileSize(absolute) == kFolderSize)
      AddFolder(absolute, files);
    else
      files.push_back({absolute, "", ""});
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const BatchFile& a, const BatchFile& b) { return a.input < b.input; });
  files.erase(std::unique(files.begin(), files.end(),
                          [](const BatchFile& a, const BatchFile& b) { return a.input == b.input; }),
              files.end());
  return files;
}

std::vector<std::string> SplitPathList(const std::string& text, bool nullSeparated) {
  const char separator = nullSeparated ? '\0' : '\n';
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string path = text.substr(start, end - start);
    if (!nullSeparated && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back(std::move(path));
    start = end + 1;
  }
  return paths;
}

void AssignOutputFolders(std::vector<BatchFile>& files, const std::string& outputFolder, bool keepSubfolders) {
  for (BatchFile& file : files) {
    std::string folder = outputFolder.empty() ? FolderPart(file.input) : outputFolder + "/";
    if (!outputFolder.empty() && keepSubfolders) folder += file.subfolder;
    file.outputFolder = WithoutTrailingSeparator(AbsolutePath(folder));
  }
}

std::vector<OutputClash> FindOutputClashes(const std::vector<BatchFile>& files) {
  std::map<std::string, std::vector<std::string>> writers;
  std::set<std::string> inputs;
  for (const BatchFile& file : files) {
    inputs.insert(file.input);
    ConversionJob.currentFile = file.input;
    const std::string name = ExpandFilenameMaskBeforeConversion(CurrentImageRequest());
    writers[AbsolutePath(file.outputFolder + "/" + name)].push_back(file.input);
  }
  std::vector<OutputClash> clashes;
  for (auto& [output, names] : writers) {
    const bool replacesInput = inputs.count(output) && (names.size() > 1 || names.front() != output);
    if (replacesInput && std::find(names.begin(), names.end(), output) == names.end()) names.push_back(output);
    if (names.size() > 1) clashes.push_back({output, names});
  }
  return clashes;
}

std::vector<std::string> ClashReportLines(const std::vector<OutputClash>& clashes, size_t shown) {
  std::vector<std::string> lines = {"Error: Output file names collide; nothing was converted"};
  for (size_t i = 0; i < clashes.size() && i < shown; ++i) {
    lines.push_back("  " + clashes[i].output);
    for (const std::string& input : clashes[i].inputs) lines.push_back("    " + input);
  }
  if (clashes.size() > shown) lines.push_back("  and " + std::to_string(clashes.size() - shown) + " more");
  return lines;
}

int64_t LargestInputSize(const std::vector<BatchFile>& files) {
  int64_t largest = 0;
  for (const BatchFile& file : files) largest = std::max(largest, FileSize(file.input));
  return largest;
}
