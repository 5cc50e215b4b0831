#include "cli/ConsoleMain.h"

#include <optional>
#include <string_view>

#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "cli/Notices.h"
#include "cli/ProductText.h"
#include "convert/ConversionJob.h"
#include "convert/Driver.h"
#include "formats/FormatTables.h"
#include "platform/Console.h"
#include "platform/ExitStatus.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "settings/MessageCatalogue.h"

namespace {

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) PrintLine(line);
}

ExitStatus ShowVersion() {
  PrintLine(VersionText(programVersion));
  return ExitStatus::Done;
}

ExitStatus ShowHelp() {
  PrintLines(HelpTextLines());
  return ExitStatus::Done;
}

// The uninstall dialog and the screenshot mode belong to a windowed front end that this
// build does not have; they end quietly so that callers of those hooks see no failure.
ExitStatus IgnoreFrontEndHook() { return ExitStatus::Done; }

struct FirstArgumentCommand {
  std::string_view name;
  ExitStatus (*run)();
};

// Recognised only as the first argument; anywhere else they are unknown names.
constexpr FirstArgumentCommand kFirstArgumentCommands[] = {
    {"-U", IgnoreFrontEndHook}, {"-T", IgnoreFrontEndHook}, {"-V", ShowVersion},  {"--VERSION", ShowVersion},
    {"-H", ShowHelp},           {"-?", ShowHelp},           {"--HELP", ShowHelp},
};

bool PrintsSomething(const FirstArgumentCommand& command) { return command.run != IgnoreFrontEndHook; }

std::optional<ExitStatus> RunFirstArgumentCommand() {
  const std::string name = ParameterName(0);
  for (const FirstArgumentCommand& command : kFirstArgumentCommands)
    if (command.name == name) return command.run();
  return std::nullopt;
}

// The arguments that no option took, up to where the scan stopped: file names beyond the
// one a run converts, and names that are no option.
void NoteSkippedArguments(const ScanResult& scan) {
  const size_t end = scan.errorMessage.empty() || scan.options.empty() ? CommandLine.size() : scan.options.back().last;
  std::vector<bool> taken(CommandLine.size(), false);
  for (const ScannedOption& option : scan.options)
    for (size_t i = option.first; i <= option.last && i < taken.size(); ++i) taken[i] = true;
  std::string names;
  for (size_t i = 0; i < end; ++i) {
    if (taken[i]) continue;
    const std::string argument = TrimSpaces(CommandLine[i]);
    if (ParameterName(i).empty())
      names += (names.empty() ? "" : " ") + argument;
    else
      AddNotice(NoticeKind::UnknownOption, argument);
  }
  if (!names.empty()) AddNotice(NoticeKind::ExtraNames, names);
}

// Without -p before the failing argument the error ends the process at once.
ExitStatus ReportScanError(const ScanResult& scan) {
  PrintWarnings(scan.quiet);
  PrintRefusal(scan.errorMessage);
  PrintReasons();
  if (scan.pause) WaitForKey();
  return ExitStatus::Refused;
}

ExitStatus RunConsoleConversion(const ScanResult& scan) {
  PrintWarnings(scan.quiet);
  if (!scan.quiet) PrintLines(BannerLines());
  const ExitStatus outcome = RunConversion(scan.quiet);
  if (scan.pause) {
    PrintLine("Press any key to exit.");
    WaitForKey();
  }
  return outcome;
}

// Anything unexpected (no memory left, say) ends the run as stopped; printing the line may
// itself fail for the same reason.
ExitStatus StopAfterFault() noexcept {
  try {
    PrintLine(Translate("Conversion is not complete", "Msg"));
  } catch (...) {
  }
  return ExitStatus::Stopped;
}

ExitStatus RunConsole(int argc, char** argv) {
  SetCommandLine(argc, argv);
  if (CommandLine.empty()) return ShowHelp();
  PrepareConsoleRun();
  if (std::optional<ExitStatus> status = RunFirstArgumentCommand()) return *status;
  ScanResult scan = ScanArguments();
  NoteSkippedArguments(scan);
  if (!scan.errorMessage.empty()) return ReportScanError(scan);
  // Options without an input file: the user needs the help more than silence.
  if (!ConversionJob.consoleRun) {
    PrintWarnings(scan.quiet);
    ShowHelp();
    return ExitStatus::Refused;
  }
  return RunConsoleConversion(scan);
}

}  // namespace

void PrepareConsoleRun() {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  ResetConversionJob();
  ResetConversionSettings(true);
  LoadMessageCatalogue("");
  PendingNotices.clear();
}

std::vector<std::string_view> HelpAndVersionNames() {
  std::vector<std::string_view> names;
  for (const FirstArgumentCommand& command : kFirstArgumentCommands)
    if (PrintsSomething(command)) names.push_back(command.name);
  return names;
}

int ConsoleMain(int argc, char** argv) {
  try {
    return ExitCode(RunConsole(argc, argv));
  } catch (...) {
    return ExitCode(StopAfterFault());
  }
}
