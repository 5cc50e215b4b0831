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

using Arguments = std::vector<std::string>;

std::string ValueAt(const Arguments& args, size_t index) {
  return index < args.size() ? ArgumentValue(args[index]) : "";
}

// A value that opens a double quote without closing it takes the following arguments, each
// after one space, until one closes it or none is left; those arguments are consumed and
// never examined as options.
std::string JoinQuotedArguments(const Arguments& args, std::string value, size_t& index) {
  while (StartsWith(value, "\"") && !EndsWith(value, "\"") && index + 1 < args.size()) {
    value += ' ';
    value += ArgumentValue(args[++index]);
  }
  return value;
}

// The value of an advanced option: after "=" in the same argument. Missing, empty or
// starting with "--" is refused; a single "-" starts a negative number and is fine.
std::optional<std::string> OptionValue(const Arguments& args, size_t index) {
  std::string value = ValueAt(args, index);
  if (value.empty() || StartsWith(value, "--")) return std::nullopt;
  return value;
}

// The value of -i, -o and -c: the short forms take the next argument. An argument that
// begins with "-" is refused even when such a file exists: it is far more likely the next
// option after a forgotten value. That holds for "--name=value" too, whose value alone
// would not show it ("-i --width=5" must not become the input file "5").
std::optional<std::string> PathValue(const Arguments& args, size_t& index, bool joinQuotes) {
  bool shortForm = !StartsWith(TrimSpaces(args[index]), "--");
  if (shortForm && ++index < args.size() && StartsWith(TrimSpaces(args[index]), "-")) return std::nullopt;
  std::string value = ValueAt(args, index);
  if (value.empty() || StartsWith(value, "-")) return std::nullopt;
  if (joinQuotes) value = JoinQuotedArguments(args, std::move(value), index);
  return StripOuterQuotes(value);
}

std::optional<std::string> TextValue(const Arguments& args, size_t& index) {
  std::optional<std::string> value = OptionValue(args, index);
  if (!value) return std::nullopt;
  return StripOuterQuotes(JoinQuotedArguments(args, std::move(*value), index));
}

// Applies an option that writes a settings field; false when its value is refused.
bool ApplySettingsOption(const Arguments& args, const OptionRow& row, size_t& index) {
  if (row.form == ValueForm::Flag) {
    SetFlagOption(row);
    return true;
  }
  std::optional<std::string> value = row.form == ValueForm::Text ? TextValue(args, index) : OptionValue(args, index);
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
void NoteMissingValue(const Arguments& args, size_t index) {
  const std::string argument = TrimSpaces(args[index]);
  const bool spaced = StartsWith(argument, "--") && argument.find('=') == std::string::npos;
  if (spaced && index + 1 < args.size())
    AddNotice(NoticeKind::SpacedValue, argument, TrimSpaces(args[index + 1]));
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

std::string ApplyProfileOption(const Arguments& args, size_t& index) {
  std::optional<std::string> path = TextValue(args, index);
  if (!path) return kIncorrectParameterCount;
  if (ApplyProfile(*path)) return "";
  NoteUnexpandedHome(*path);
  return kInvalidProfileFile;
}

// Applies the row matched by argument `index`, moving `index` over consumed arguments.
// Returns the error message, empty when the argument was accepted.
std::string ApplyRow(const OptionRow& row, size_t& index, ScanResult& scan) {
  const Arguments& args = scan.arguments;
  const char* refused = kIncorrectParameterCount;
  switch (row.target) {
    case OptionTarget::Settings: return ApplySettingsOption(args, row, index) ? "" : refused;
    case OptionTarget::InputFile:
      ConversionJob.consoleRun = 1;
      return StorePath(PathValue(args, index, true), ConversionJob.inputFile) ? "" : refused;
    case OptionTarget::OutputFolder:
      return StorePath(PathValue(args, index, true), ConversionJob.outputFolder) ? "" : refused;
    case OptionTarget::OutputExtension:
      return StorePath(PathValue(args, index, false), ConversionJob.outputExtension) ? "" : refused;
    case OptionTarget::Profile: return ApplyProfileOption(args, index);
    case OptionTarget::Debug: ConversionJob.runMode = "DEBUG"; return "";
    case OptionTarget::Quiet: scan.quiet = true; return "";
    case OptionTarget::Pause: scan.pause = true; return "";
  }
  return "";
}

std::string ApplyArgument(const OptionRow& row, size_t& index, ScanResult& scan) {
  const size_t first = index;
  std::string error = ApplyRow(row, index, scan);
  if (error == kIncorrectParameterCount) NoteMissingValue(scan.arguments, first);
  return error;
}

}  // namespace

ScanResult ScanArguments() { return ScanArguments(CommandLine); }

ScanResult ScanArguments(const std::vector<std::string>& arguments) {
  ScanResult scan;
  scan.arguments = arguments;
  for (size_t index = 0; index < arguments.size() && scan.errorMessage.empty(); ++index)
    if (const OptionRow* row = FindCommandLineOption(ArgumentName(arguments[index]))) {
      const size_t first = index;
      scan.errorMessage = ApplyArgument(*row, index, scan);
      scan.options.push_back({first, index, row});
    }
  return scan;
}
