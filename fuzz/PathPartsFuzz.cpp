// The extension and folder rules take any text a user may type as a path.
#include "FuzzSupport.h"
#include "formats/FormatTables.h"
#include "platform/Paths.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  BuildAcceptedInputExtensions();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(AsText(data, size));

  const std::string extension = FileExtension(path);
  if (!extension.empty()) {
    Require(extension.find_first_of("/\\ \"") == std::string::npos, "an extension holds no separator, space or quote");
    Require(path.find("." + extension) != std::string::npos, "the extension follows a dot of the path");
  }
  (void)IsAcceptedInputExtension(extension);
  (void)IsAcceptedOutputFormat(extension);
  (void)IsPermittedBitDepth(extension, static_cast<int32_t>(size));

  const std::string folder = FolderPart(path);
  if (!folder.empty()) {
    Require(folder.back() == '/' || folder.back() == '\\', "a folder part ends with a separator");
    const size_t start = path[0] == '"' ? 1 : 0;
    Require(path.compare(start, folder.size(), folder) == 0, "the folder part is the start of the path");
  }
  return 0;
}
