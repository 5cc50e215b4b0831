// Profiles and language files are text files of any origin, edited by hand.
#include "FuzzSupport.h"
#include "cli/Profile.h"
#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "settings/ConversionSettings.h"
#include "settings/MessageCatalogue.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetConversionJob();
  ResetConversionSettings(true);
  const std::string& path = WriteScratchFile(AsText(data, size));

  Require(ApplyProfile(path), "every readable regular file is a profile");
  Require(ConversionJob.inputFile.empty() && !ConversionJob.consoleRun && ConversionJob.runMode.empty(),
          "a profile never names the input or the run mode");

  Require(LoadMessageCatalogue(path), "loading the catalogue always succeeds");
  // A language file replaces texts but can neither add nor remove keys.
  Require(Translate("Files converted", "Msg") != kNoStringError, "console keys survive a language file");
  Require(Translate("Preparing", "General") != kNoStringError, "console keys survive a language file");
  return 0;
}
