// File identification reads the first bytes of whatever file the user names.
#include "FuzzSupport.h"
#include "formats/Signatures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = IdentifyFileSignature(WriteScratchFile(AsText(data, size)));
  Require(!name.empty(), "every file gets a name");
  if (size == 0) Require(name == kUnrecognizedSignature, "an empty file is unrecognised");
  return 0;
}
