// The argument scan takes whatever a shell or a script hands the program.
#include <string_view>

#include "FuzzSupport.h"
#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "cli/OptionTable.h"
#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  return 0;
}

namespace {

bool HasOuterQuote(const std::string& text) { return !text.empty() && (text.front() == '"' || text.back() == '"'); }

}  // namespace

// The input is the argument vector, arguments separated by NUL bytes. Profiles are read by
// their own target; here a --profile could name a terminal and wait for it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CommandLine.clear();
  for (std::string& argument : SplitAtNul(AsText(data, size)))
    if (FindNoCase(argument, "--profile") == std::string::npos) CommandLine.push_back(std::move(argument));
  ResetConversionJob();
  ResetConversionSettings(true);

  for (size_t i = 0; i <= CommandLine.size(); ++i) {
    (void)ParameterName(i);
    (void)ParameterValue(i);
  }
  ScanResult scan = ScanArguments();
  Require(scan.errorMessage.empty() || scan.errorMessage == kIncorrectParameterCount,
          "a scan without profiles fails only with the parameter-count message");
  for (const std::string* text :
       {&ConversionJob.inputFile, &ConversionJob.outputFolder, &ConversionJob.outputExtension})
    Require(!HasOuterQuote(*text), "run values lose their outer quotes");
  for (const OptionRow& row : OptionTable)
    if (auto member = std::get_if<std::string ConversionSettingsRecord::*>(&row.field))
      Require(!HasOuterQuote(ConversionSettings.**member), "text options lose their outer quotes");
  return 0;
}
