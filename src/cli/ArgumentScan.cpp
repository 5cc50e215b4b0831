#include "cli/ArgumentScan.h"

#include <cstdlib>
#include <optional>

#include "cli/Arguments.h"
#include "cli/Notices.h"
#include "cli/OptionTable.h"
#include "cli/Profile.h"
#include "cli/ValueReaders.h"
#include "convert/ConversionJob.h"
#include "platform/Text.h"

namespace {

// A value that opens a double quote without closing it takes the following arguments, each
// after one space, until one closes it or none is left; those arguments are consumed and
// never examined as options.
std::string JoinQuotedArguments(std::string value, size_t& index) {
  while (StartsWith(value, "\"") && !EndsWith(value, "\"") && index + 1 < CommandLine.size())
    value += " " + ParameterValue(++index);
  return value;
}

// The value of an advanced option: after "=" in the same argument. Missing, empty or
// starting with "--" is refused; a single "-" starts a negative number and is fine.
std::optional<std::string> OptionValue(size_t index) {
  std::string value = ParameterValue(index);
  if (value.empty() || StartsWith(value, "--")) return std::nullopt;
  return value;
}

// The value of -i, -o and -c: the short forms take the next argument. An argument that
// begins with "-" is refused even when such a file exists: it is far more likely the next
// option after a forgotten value. That holds for "--name=value" too, whose value alone
// would not show it ("-i --width=5" must not become the input file "5").
std::optional<std::string> PathValue(size_t& index, bool joinQuotes) {
  bool shortForm = !StartsWith(TrimSpaces(CommandLine[index]), "--");
  if (shortForm && ++index < CommandLine.size() && StartsWith(TrimSpaces(CommandLine[index]), "-")) return std::nullopt;
  std::string value = ParameterValue(index);
  if (value.empty() || StartsWith(value, "-")) return std::nullopt;
  if (joinQuotes) value = JoinQuotedArguments(std::move(value), index);
  return StripOuterQuotes(value);
}

std::optional<std::string> TextValue(size_t& index) {
  std::optional<std::string> value = OptionValue(index);
  if (!value) return std::nullopt;
  return StripOuterQuotes(JoinQuotedArguments(std::move(*value), index));
}

// Applies an option that writes a settings field; false when its value is refused.
bool ApplySettingsOption(const OptionRow& row, size_t& index) {
  if (row.form == ValueForm::Flag) {
    SetFlagOption(row);
    return true;
  }
  std::optional<std::string> value = row.form == ValueForm::Text ? TextValue(index) : OptionValue(index);
  if (!value) return false;
  NoteUnreadValue(row, *value, ToLower(row.name) + "=" + *value);
  StoreOptionValue(row, *value);
  return true;
}

bool StorePath(std::optional<std::string> value, std::string& into) {
  if (!value) return false;
  into = std::move(*value);
  return true;
}

// Why argument `index` gave no value: "--width 800" most likely meant "--width=800".
void NoteMissingValue(size_t index) {
  const std::string argument = TrimSpaces(CommandLine[index]);
  const bool spaced = StartsWith(argument, "--") && argument.find('=') == std::string::npos;
  if (spaced && index + 1 < CommandLine.size())
    AddNotice(NoticeKind::SpacedValue, argument, TrimSpaces(CommandLine[index + 1]));
  else
    AddNotice(NoticeKind::MissingValue, argument);
}

// "~" is expanded by the shell only at the start of a word, never after "--profile=".
void NoteUnexpandedHome(const std::string& path) {
  if (!StartsWith(path, "~/")) return;
  const char* home = std::getenv("HOME");
  AddNotice(NoticeKind::UnexpandedHome, "--profile=" + path,
            "--profile=" + std::string(home && *home ? home : "$HOME") + path.substr(1));
}

std::string ApplyProfileOption(size_t& index) {
  std::optional<std::string> path = TextValue(index);
  if (!path) return kIncorrectParameterCount;
  if (ApplyProfile(*path)) return "";
  NoteUnexpandedHome(*path);
  return kInvalidProfileFile;
}

// Applies the row matched by argument `index`, moving `index` over consumed arguments.
// Returns the error message, empty when the argument was accepted.
std::string ApplyRow(const OptionRow& row, size_t& index, ScanResult& scan) {
  const char* refused = kIncorrectParameterCount;
  switch (row.target) {
    case OptionTarget::Settings: return ApplySettingsOption(row, index) ? "" : refused;
    case OptionTarget::InputFile:
      ConversionJob.consoleRun = 1;
      return StorePath(PathValue(index, true), ConversionJob.inputFile) ? "" : refused;
    case OptionTarget::OutputFolder:
      return StorePath(PathValue(index, true), ConversionJob.outputFolder) ? "" : refused;
    case OptionTarget::OutputExtension:
      return StorePath(PathValue(index, false), ConversionJob.outputExtension) ? "" : refused;
    case OptionTarget::Profile: return ApplyProfileOption(index);
    case OptionTarget::Debug: ConversionJob.runMode = "DEBUG"; return "";
    case OptionTarget::Quiet: scan.quiet = true; return "";
    case OptionTarget::Pause: scan.pause = true; return "";
  }
  return "";
}

std::string ApplyArgument(const OptionRow& row, size_t& index, ScanResult& scan) {
  const size_t first = index;
  std::string error = ApplyRow(row, index, scan);
  if (error == kIncorrectParameterCount) NoteMissingValue(first);
  return error;
}

}  // namespace

ScanResult ScanArguments() {
  ScanResult scan;
  for (size_t index = 0; index < CommandLine.size() && scan.errorMessage.empty(); ++index)
    if (const OptionRow* row = FindCommandLineOption(ParameterName(index))) {
      const size_t first = index;
      scan.errorMessage = ApplyArgument(*row, index, scan);
      scan.options.push_back({first, index, row});
    }
  return scan;
}
