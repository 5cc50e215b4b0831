#pragma once
// The batch's files: the inputs found from the PATHs, where each one's JPEG goes, and the
// output names that would collide or could not be made.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Folders.h"

struct BatchFile {
  std::string input;         // absolute
  std::string subfolder;     // below the folder PATH it was found in, ending in "/"; empty otherwise
  std::string outputFolder;  // absolute, without a trailing "/"
};

// Every input named by `paths`, absolute, each once, sorted by path. A folder contributes
// the files below it whose extension the program accepts (letter case ignored), and the
// folders below it that could not be read go to `unreadable`; a path that is no folder is
// taken as it is, so a missing or unreadable file is reported by the conversion that fails.
// Names are taken as the file system has them: only "/" separates folders.
std::vector<BatchFile> CollectBatchFiles(const std::vector<std::string>& paths,
                                         std::vector<UnreadableFolder>* unreadable = nullptr);

// The paths listed in `text`: one per line (a "\r" before the "\n" is dropped), or
// NUL-separated. Empty entries are skipped.
std::vector<std::string> SplitPathList(const std::string& text, bool nullSeparated);

// Gives every file its output folder: `outputFolder` (absolute) with the file's subfolder
// unless `keepSubfolders` is false; without an output folder, the input's own folder.
void AssignOutputFolders(std::vector<BatchFile>& files, const std::string& outputFolder, bool keepSubfolders);

// The name pixquillcmd gives the file's JPEG in its output folder, as far as it is known
// before converting: tokens whose values come only from the conversion stay in it.
std::string PlannedOutputName(const BatchFile& file);

// The absolute path of that JPEG.
std::string PlannedOutputPath(const BatchFile& file);

// The first planned name that leaves its output folder (a mask with ".." or a leading "/"),
// which every conversion would refuse.
std::optional<std::string> NameLeavingOutputFolder(const std::vector<BatchFile>& files);

struct OutputClash {
  std::string output;               // as far as it is known before converting
  std::vector<std::string> inputs;  // the inputs that would write it, or be replaced by it
};

// Outputs that two inputs would write, or that would replace another input. Tokens whose
// values are known only after the conversion stay in the name, so names equal apart from
// them count as a clash: nothing would keep them apart.
std::vector<OutputClash> FindOutputClashes(const std::vector<BatchFile>& files);

// The refusal for `clashes`: the error line, then each output with its inputs, at most
// `shown` outputs.
std::vector<std::string> ClashReportLines(const std::vector<OutputClash>& clashes, size_t shown);

// Inputs that GNU parallel's transfer to other machines cannot carry: a line break in the
// input's path or its output folder splits the commands that copy and remove the job's
// files, which then reach other paths.
std::vector<std::string> UntransferableInputs(const std::vector<BatchFile>& files);

// Output folders that do not exist yet, parents before their subfolders.
std::vector<std::string> MissingOutputFolders(const std::vector<BatchFile>& files);

// `text` with control bytes written as "\n", "\t", "\x1b" and so on, so that a name prints
// on one line and cannot move the cursor; with `reversible`, "\" is doubled too.
std::string EscapedText(const std::string& text, bool reversible = false);
