// The whole scan of a command line, as the program entry runs it after its start-up, with
// every option handler, quote joining and profile application; the conversion itself is
// never started.
#include "FuzzSupport.h"
#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "settings/ConversionSettings.h"

// The start-up the program entry runs before its scan.
void PrepareScan() {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  ResetConversionJob();
  ResetConversionSettings(true);
}

// The input is the argument vector, arguments separated by NUL bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments = SplitAtNul(AsText(data, size));
  std::string programName = "pixquillcmd";
  std::vector<char*> argv{programName.data()};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  SetCommandLine(static_cast<int>(argv.size() - 1), argv.data());
  PrepareScan();
  for (size_t i = 0; i <= CommandLine.size(); ++i) {
    (void)ParameterName(i);
    (void)ParameterValue(i);
  }
  const ScanResult scan = ScanArguments();
  Require(scan.errorMessage.empty() || scan.errorMessage == kIncorrectParameterCount ||
              scan.errorMessage == kInvalidProfileFile,
          "a refused command line names one of the two scan errors");
  return 0;
}
