#include "batch/BatchSteps.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

#include "batch/BatchLog.h"
#include "cli/Arguments.h"
#include "cli/OptionTable.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Machine.h"
#include "platform/Paths.h"
#include "platform/Text.h"

std::vector<std::string> JobOptions(const ScanResult& scan) {
  std::vector<std::string> options;
  for (const ScannedOption& option : scan.options) {
    const OptionTarget target = option.row->target;
    if (target == OptionTarget::InputFile || target == OptionTarget::OutputFolder || target == OptionTarget::Pause)
      continue;
    for (size_t i = option.first; i <= option.last && i < scan.arguments.size(); ++i)
      options.push_back(scan.arguments[i]);
  }
  return options;
}

std::string OutputFolderToCheck(const std::string& given) {
  if (given.empty() || StartsWith(given, "..")) return given;
  return AbsolutePath(given);
}

std::string LocalProgram() {
  const std::string beside = FolderPart(ProgramPath()) + "pixquillcmd";
  return FileSize(beside) > 0 ? beside : "pixquillcmd";
}

std::optional<std::string> JobLogPath(const BatchSettingsRecord& settings, const std::string& outputFolder) {
  if (!settings.jobLog.empty()) return AbsolutePath(settings.jobLog);
  return DefaultJobLogPath(outputFolder, CurrentFolder(), std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

PrivateFolder::PrivateFolder() {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary && temporary[0] == '/' ? temporary : "/tmp") + "/pixquillbatch-XXXXXX";
  if (mkdtemp(pattern.data())) path = pattern;
}

PrivateFolder::~PrivateFolder() {
  std::error_code error;
  if (!path.empty()) std::filesystem::remove_all(path, error);
}
