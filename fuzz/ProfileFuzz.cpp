// Profiles are files of any content: text in any encoding, binary files, one huge line.
#include "FuzzSupport.h"
#include "cli/Profile.h"
#include "settings/ConversionSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetConversionSettings(true);
  Require(ApplyProfile(WriteScratchFile(AsText(data, size))), "a readable small file is a valid profile");
  return 0;
}
