#pragma once
// The batch's files: the inputs found from the PATHs, where each one's JPEG goes, and the
// output names that would collide.
#include <cstdint>
#include <string>
#include <vector>

struct BatchFile {
  std::string input;         // absolute
  std::string subfolder;     // below the folder PATH it was found in, ending in "/"; empty otherwise
  std::string outputFolder;  // absolute, without a trailing "/"
};

// Every input named by `paths`, absolute, each once, sorted by path so that every run of
// the same request numbers its files alike. A folder contributes the files below it whose
// extension the program accepts (letter case ignored); a path that is no folder is taken
// as it is, so a missing or unreadable file is reported by the conversion that fails.
std::vector<BatchFile> CollectBatchFiles(const std::vector<std::string>& paths);

// The paths listed in `text`: one per line (a "\r" before the "\n" is dropped), or
// NUL-separated. Empty entries are skipped.
std::vector<std::string> SplitPathList(const std::string& text, bool nullSeparated);

// Gives every file its output folder: `outputFolder` (absolute) with the file's subfolder
// unless `keepSubfolders` is false; without an output folder, the input's own folder.
void AssignOutputFolders(std::vector<BatchFile>& files, const std::string& outputFolder, bool keepSubfolders);

struct OutputClash {
  std::string output;               // as far as it is known before converting
  std::vector<std::string> inputs;  // the inputs that would write it, or be replaced by it
};

// Outputs that two inputs would write, or that would replace another input. Names are
// those of the current settings' file-name mask; tokens whose values are known only after
// the conversion stay in the name, so names equal apart from them count as a clash:
// nothing would keep them apart.
std::vector<OutputClash> FindOutputClashes(const std::vector<BatchFile>& files);

// The refusal for `clashes`: the error line, then each output with its inputs, at most
// `shown` outputs.
std::vector<std::string> ClashReportLines(const std::vector<OutputClash>& clashes, size_t shown);

// The largest input, in bytes (0 when none can be read).
int64_t LargestInputSize(const std::vector<BatchFile>& files);
