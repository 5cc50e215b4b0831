#include "formats/FormatTables.h"

#include <FreeImage.h>

#include <span>

#include "platform/Text.h"

std::map<std::string, FormatEntry> InputExtensionTable;
std::map<std::string, FormatEntry> OutputFormatTable;
std::vector<std::string> AcceptedInputFormats = {"raw"};
std::vector<std::string> AcceptedOutputFormats = {"jpg"};
std::vector<std::string> AcceptedInputExtensions;

namespace {

struct InputFamily {
  const char* formatKey;
  const char* description;
  std::initializer_list<const char*> extensions;
};

// Input extensions grouped by format family. Only the families in AcceptedInputFormats
// are accepted; the rest are known so that listings and a wider build can use them.
const InputFamily kInputFamilies[] = {
    {"bmp", "Windows or OS/2 Bitmap", {"bmp", "rle", "dib"}},
    {"dds", "DirectDraw Surface File", {"dds"}},
    {"emf", "Enhanced Metafile Format", {"emf", "emz"}},
    {"gif", "GIF File", {"gif"}},
    {"hdr", "High Dynamic Range File", {"hdr", "hdri"}},
    {"ico", "Windows Icon", {"ico"}},
    {"jpg", "JPEG File", {"jpg", "jpeg", "jpe", "jif"}},
    {"pcd", "Kodak PhotoCD File", {"pcd", "pcd1", "pcds", "ppcd"}},
    {"pcx", "ZSoft Paintbrush File", {"pcx"}},
    {"pic", "Macintosh PICT", {"pic", "pict", "pct"}},
    {"png", "Portable Network Graphics", {"png"}},
    {"psd", "Adobe Photoshop File", {"psd"}},
    {"tga", "Truevision Targa", {"tga", "targa"}},
    {"tiff", "Tagged Image File Format", {"tiff", "tif"}},
    {"wmf", "Windows Metafile Format", {"wmf", "wmz"}},
    {"wmf", "Aldus Placeable Metafile", {"apm"}},
    {"raw", "Camera RAW Image", {"raw", "raw1", "raw2"}},
    {"raw", "Hasselblad Camera RAW Image", {"3fr"}},
    {"raw", "Sony Camera RAW Image", {"arw", "sr2", "srf"}},
    {"raw", "Casio Camera RAW Image", {"bay"}},
    {"raw", "NuCore RAW Image", {"bmq"}},
    {"raw", "Phase One Camera RAW Image", {"cap", "iiq", "eip"}},
    {"raw", "Phantom RAW Image", {"cine"}},
    {"raw", "Canon Camera RAW Image", {"cr2", "crw", "cr3"}},
    {"raw", "Capture Shop RAW Image", {"cs1"}},
    {"raw", "Kodak Camera RAW Image", {"dc2", "dcr", "drf", "dsc", "k25", "kc2", "kdc", "dcs"}},
    {"raw", "Adobe Digital Negative Image", {"dng"}},
    {"raw", "Epson Camera RAW Image", {"erf"}},
    {"raw", "Imacon Camera RAW Image", {"fff"}},
    {"raw", "Sinar RAW Image", {"ia", "sti"}},
    {"raw", "Minolta Camera RAW Image", {"mdc", "mrw"}},
    {"raw", "Mamiya Camera RAW Image", {"mef", "mos"}},
    {"raw", "Nikon Camera RAW Image", {"nef", "nrw"}},
    {"raw", "Olympus Camera RAW Image", {"orf"}},
    {"raw", "Pentax Camera RAW Image", {"pef", "ptx"}},
    {"raw", "Logitech Camera RAW Image", {"pxn"}},
    {"raw", "Apple Quicktake Camera RAW Image", {"qtk"}},
    {"raw", "Fuji Camera RAW Image", {"raf"}},
    {"raw", "Digital Foto Maker RAW Image", {"rdc"}},
    {"raw", "Panasonic Camera RAW Image", {"rw2"}},
    {"raw", "Rawzor Camera RAW Image", {"rwz"}},
    {"raw", "Samsung Camera RAW Image", {"srw"}},
    {"raw", "Sigma Camera RAW Image", {"x3f"}},
    {"raw", "ARRI RAW Image", {"ari"}},
    {"raw", "RED RAW Image", {"r3d"}},
    {"raw", "Leica Camera RAW Image", {"rwl"}},
};

struct OutputFormatRow {
  const char* extension;
  FormatCode formatCode;
  const char* description;
  const char* bitDepths;
};

// dds, pcx and psd are output extensions that have settings, a debug block and save flags
// but no row here, because Debian's FreeImage cannot write DDS or PCX at all, and its PSD
// writer was never checked against the depths. A build that accepts them needs a row each:
// a format code FreeImage can save (FIF_PSD = 20 writes; FIF_DDS = 24 and FIF_PCX = 10 are
// read-only, so they would need a writer of their own) and the depths that writer takes.
const OutputFormatRow kOutputFormats[] = {
    {"bmp", FIF_BMP, "Windows or OS/2 Bitmap", "1,4,8,16,24,32"},
    {"exr", FIF_EXR, "ILM OpenEXR", "96"},
    {"gif", FIF_GIF, "Graphics Interchange Format", "8"},
    {"hdr", FIF_HDR, "High Dynamic Range Image", "96"},
    {"ico", FIF_ICO, "Windows Icon", "1,4,8,16,24,32"},
    {"j2k", FIF_J2K, "JPEG-2000 Codestream", "8,24,32,48"},
    {"jng", FIF_JNG, "JPEG Network Graphics", "24,32"},
    {"jp2", FIF_JP2, "JPEG-2000 File Format", "8,24,32,48"},
    {"jpg", FIF_JPEG, "JPEG File Format", "8,24"},
    {"jxr", FIF_JXR, "JPEG XR Image Format", "1,8,16,24,32,48,96"},
    {"pbm", FIF_PBM, "Portable Bitmap", "1"},
    {"pfm", FIF_PFM, "Portable Floatmap", "96"},
    {"pgm", FIF_PGM, "Portable Greymap", "8"},
    {"png", FIF_PNG, "Portable Network Graphics", "1,4,8,24,32,48"},
    {"ppm", FIF_PPM, "Portable Pixelmap", "24,48"},
    {"tga", FIF_TARGA, "Truevision Targa", "8,16,24,32"},
    {"tiff", FIF_TIFF, "Tagged Image File Format", "1,4,8,24,32,48,96"},
    {"wbmp", FIF_WBMP, "Wireless Bitmap", "1"},
    {"webp", FIF_WEBP, "Google WebP Image Format", "24,32"},
    {"xpm", FIF_XPM, "X11 Pixmap Format", "24"},
};

// Leading spaces and tabs, an optional sign, then decimal digits up to the first other
// character; no digits give 0.
int32_t ReadDepthField(const std::string& field) {
  size_t i = field.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (field[i] == '+' || field[i] == '-') negative = field[i++] == '-';
  int64_t value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9' && value < (1LL << 32); ++i)
    value = value * 10 + (field[i] - '0');
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

void BuildInputExtensionTable() {
  InputExtensionTable.clear();
  for (const InputFamily& family : kInputFamilies)
    for (const char* extension : family.extensions)
      InputExtensionTable[extension] = FormatEntry{kNoFormatCode, family.formatKey, family.description, ""};
}

void BuildOutputFormatTable() {
  OutputFormatTable.clear();
  for (const OutputFormatRow& row : kOutputFormats)
    OutputFormatTable[row.extension] = FormatEntry{row.formatCode, row.extension, row.description, row.bitDepths};
}

void BuildAcceptedInputExtensions() {
  std::string text;
  for (const std::string& formatKey : AcceptedInputFormats)
    for (const auto& [extension, entry] : InputExtensionTable)
      if (entry.formatKey == formatKey) text += extension + ",";
  if (EndsWith(text, ",")) text.pop_back();
  AcceptedInputExtensions = SplitAt(text, ",");
}

bool IsAcceptedInputExtension(const std::string& extension) {
  std::string lower = ToLower(extension);
  for (const std::string& accepted : AcceptedInputExtensions)
    if (accepted == lower) return true;
  return false;
}

std::string OutputExtensionOrDefault(const std::string& extension) {
  return extension.empty() ? AcceptedOutputFormats.front() : extension;
}

bool IsAcceptedOutputFormat(const std::string& extension) {
  for (const std::string& accepted : AcceptedOutputFormats)
    if (accepted == extension) return true;
  return false;
}

std::vector<int32_t> PermittedBitDepths(const std::string& extension) {
  std::vector<int32_t> depths;
  auto entry = OutputFormatTable.find(extension);
  if (entry == OutputFormatTable.end()) return depths;
  for (const std::string& field : SplitAt(entry->second.bitDepths, ",")) depths.push_back(ReadDepthField(field));
  return depths;
}

bool IsPermittedBitDepth(const std::string& extension, int32_t bitDepth) {
  if (bitDepth == 0) return true;
  for (int32_t depth : PermittedBitDepths(extension))
    if (depth == bitDepth) return true;
  return false;
}
