#include "batch/BatchInputs.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "pipeline/Naming.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

void AddFolder(const std::string& folder, std::vector<BatchFile>& files, std::vector<UnreadableFolder>* unreadable) {
  const size_t prefix = folder.back() == '/' ? folder.size() : folder.size() + 1;
  FolderWalk walk = WalkFolder(folder);
  for (const std::string& path : walk.files) {
    if (!IsAcceptedInputExtension(FileExtension(path))) continue;
    files.push_back({path, ParentFolder(path.substr(prefix)), ""});
  }
  if (unreadable) unreadable->insert(unreadable->end(), walk.unreadable.begin(), walk.unreadable.end());
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool Breaks(const std::string& text) { return text.find('\n') != std::string::npos; }

}  // namespace

std::vector<BatchFile> CollectBatchFiles(const std::vector<std::string>& paths,
                                         std::vector<UnreadableFolder>* unreadable) {
  std::vector<BatchFile> files;
  for (const std::string& path : paths) {
    const std::string absolute = WithoutTrailingSeparator(AbsolutePath(path));
    if (IsFolder(absolute))
      AddFolder(absolute, files, unreadable);
    else
      files.push_back({absolute, "", ""});
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const BatchFile& a, const BatchFile& b) { return a.input < b.input; });
  files.erase(std::unique(files.begin(), files.end(),
                          [](const BatchFile& a, const BatchFile& b) { return a.input == b.input; }),
              files.end());
  if (unreadable)
    std::sort(unreadable->begin(), unreadable->end(),
              [](const UnreadableFolder& a, const UnreadableFolder& b) { return a.path < b.path; });
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
    std::string folder = outputFolder.empty() ? ParentFolder(file.input) : outputFolder + "/";
    if (!outputFolder.empty() && keepSubfolders) folder += file.subfolder;
    file.outputFolder = WithoutTrailingSeparator(AbsolutePath(folder));
  }
}

std::string PlannedOutputName(const BatchFile& file) {
  return ExpandFilenameMaskBeforeConversion(ImageRequestFor(file.input));
}

std::string PlannedOutputPath(const BatchFile& file) {
  return AbsolutePath(file.outputFolder + "/" + PlannedOutputName(file));
}

std::optional<std::string> NameLeavingOutputFolder(const std::vector<BatchFile>& files) {
  for (const BatchFile& file : files)
    if (std::string name = PlannedOutputName(file); !NameStaysInFolder(name)) return name;
  return std::nullopt;
}

std::vector<OutputClash> FindOutputClashes(const std::vector<BatchFile>& files) {
  std::map<std::string, std::vector<std::string>> writers;
  std::set<std::string> inputs;
  for (const BatchFile& file : files) {
    inputs.insert(file.input);
    writers[PlannedOutputPath(file)].push_back(file.input);
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
  std::vector<std::string> lines = {RefusalLine("Output file names collide; nothing was converted")};
  for (size_t i = 0; i < clashes.size() && i < shown; ++i) {
    lines.push_back("  " + EscapedText(clashes[i].output));
    for (const std::string& input : clashes[i].inputs) lines.push_back("    " + EscapedText(input));
  }
  if (clashes.size() > shown) lines.push_back("  and " + std::to_string(clashes.size() - shown) + " more");
  return lines;
}

std::vector<std::string> UntransferableInputs(const std::vector<BatchFile>& files) {
  std::vector<std::string> inputs;
  for (const BatchFile& file : files)
    if (Breaks(file.input) || Breaks(file.outputFolder)) inputs.push_back(file.input);
  return inputs;
}

std::vector<std::string> MissingOutputFolders(const std::vector<BatchFile>& files) {
  std::set<std::string> missing;
  for (const BatchFile& file : files)
    for (std::string folder = file.outputFolder; folder.size() > 1 && !IsFolder(folder);
         folder = WithoutTrailingSeparator(ParentFolder(folder)))
      missing.insert(folder);
  return {missing.begin(), missing.end()};
}

std::string EscapedText(const std::string& text, bool reversible) {
  static constexpr struct {
    char byte;
    char letter;
  } kNamed[] = {{'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}};
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' && reversible) {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      auto named = std::find_if(std::begin(kNamed), std::end(kNamed), [c](const auto& row) { return row.byte == c; });
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += named != std::end(kNamed) ? std::string{'\\', named->letter} : std::string(hex);
    } else {
      out += c;
    }
  }
  return out;
}
