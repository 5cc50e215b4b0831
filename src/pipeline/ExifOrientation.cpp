#include "pipeline/ExifOrientation.h"

#include <cstring>
#include <iterator>
#include <string_view>

#include "platform/BitmapPtr.h"

namespace {

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kUpright = 1;
constexpr size_t kEntrySize = 12;

const OrientationStep kOrientationSteps[] = {
    {2, 0, true, false},    {3, 180, false, false}, {4, 0, false, true},   {5, 90, false, true},
    {6, -90, false, false}, {7, -90, false, true},  {8, 90, false, false},
};

// Indexed by LibRaw's flip code.
constexpr uint16_t kOrientationOfFlip[] = {1, 2, 4, 3, 5, 8, 6, 7};

}  // namespace

const OrientationStep* OrientationStepOf(uint16_t orientation) {
  for (const OrientationStep& step : kOrientationSteps)
    if (step.orientation == orientation) return &step;
  return nullptr;
}

uint16_t OrientationOfLibRawFlip(int flip) {
  return flip >= 0 && flip < static_cast<int>(std::size(kOrientationOfFlip)) ? kOrientationOfFlip[flip] : kUpright;
}

namespace {

// Reads and writes integers of the block in its own byte order, with every offset checked
// against the block's length.
struct ExifBlockView {
  std::vector<uint8_t>& bytes;
  size_t base;  // start of the TIFF header
  bool littleEndian;

  bool Has(size_t offset, size_t length) const { return offset <= bytes.size() && length <= bytes.size() - offset; }
  uint32_t Read(size_t offset, size_t length) const {
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
      const uint32_t byte = bytes[offset + (littleEndian ? length - 1 - i : i)];
      value = value << 8 | byte;
    }
    return value;
  }
  void Write(size_t offset, size_t length, uint32_t value) {
    for (size_t i = 0; i < length; ++i) {
      bytes[offset + (littleEndian ? i : length - 1 - i)] = static_cast<uint8_t>(value & 0xFF);
      value >>= 8;
    }
  }
};

// The offset of the TIFF header inside the block, or false when there is none.
bool FindTiffHeader(const std::vector<uint8_t>& block, size_t& base, bool& littleEndian) {
  base = block.size() >= 6 && std::memcmp(block.data(), "Exif\0\0", 6) == 0 ? 6 : 0;
  if (block.size() < base + 8) return false;
  if (block[base] == 'I' && block[base + 1] == 'I')
    littleEndian = true;
  else if (block[base] == 'M' && block[base + 1] == 'M')
    littleEndian = false;
  else
    return false;
  return true;
}

void SetOrientationInRawBlock(FIBITMAP* bitmap) {
  FITAG* found = nullptr;
  if (!FreeImage_GetMetadata(FIMD_EXIF_RAW, bitmap, "ExifRaw", &found) || !found) return;
  const auto* value = static_cast<const uint8_t*>(FreeImage_GetTagValue(found));
  if (!value) return;
  std::vector<uint8_t> block(value, value + FreeImage_GetTagLength(found));
  if (!SetOrientationInExifBlock(block, kUpright)) return;
  TagPtr patched(FreeImage_CloneTag(found));
  if (patched && FreeImage_SetTagValue(patched.get(), block.data()))
    FreeImage_SetMetadata(FIMD_EXIF_RAW, bitmap, "ExifRaw", patched.get());
}

void SetOrientationInMainTags(FIBITMAP* bitmap) {
  FITAG* found = nullptr;
  if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, bitmap, "Orientation", &found) || !found) return;
  if (FreeImage_GetTagType(found) != FIDT_SHORT || FreeImage_GetTagCount(found) != 1) return;
  TagPtr patched(FreeImage_CloneTag(found));
  const WORD upright = kUpright;
  if (patched && FreeImage_SetTagValue(patched.get(), &upright))
    FreeImage_SetMetadata(FIMD_EXIF_MAIN, bitmap, "Orientation", patched.get());
}

constexpr std::string_view kXmpOrientation = "tiff:Orientation";
constexpr std::string_view kXmlSpace = " \t\r\n";

struct TextSpan {
  size_t start = std::string::npos;
  size_t length = 0;
};

// The value of the attribute whose name ends at `at`: ="6" or = '6'.
TextSpan AttributeValue(const std::string& packet, size_t at) {
  at = packet.find_first_not_of(kXmlSpace, at);
  if (at == std::string::npos || packet[at] != '=') return {};
  at = packet.find_first_not_of(kXmlSpace, at + 1);
  if (at == std::string::npos || (packet[at] != '"' && packet[at] != '\'')) return {};
  const size_t end = packet.find(packet[at], at + 1);
  if (end == std::string::npos) return {};
  return {at + 1, end - at - 1};
}

// The text of the element whose start tag's name ends at `at`: >6<.
TextSpan ElementText(const std::string& packet, size_t at) {
  at = packet.find_first_not_of(kXmlSpace, at);
  if (at == std::string::npos || packet[at] != '>') return {};
  const size_t end = packet.find('<', at + 1);
  if (end == std::string::npos) return {};
  return {at + 1, end - at - 1};
}

// The span without the white space around it; empty when nothing else is in it.
TextSpan Trimmed(const std::string& packet, TextSpan span) {
  if (span.start == std::string::npos) return {};
  const std::string_view text(packet.data() + span.start, span.length);
  const size_t first = text.find_first_not_of(kXmlSpace);
  if (first == std::string_view::npos) return {};
  return {span.start + first, text.find_last_not_of(kXmlSpace) - first + 1};
}

// The orientation value of the name found at `at`, which must start an attribute or an
// element (a closing tag, or a longer name that ends the same way, has none).
TextSpan XmpOrientationValue(const std::string& packet, size_t at) {
  if (at > 0 && packet[at - 1] != '<' && kXmlSpace.find(packet[at - 1]) == std::string_view::npos) return {};
  const size_t after = at + kXmpOrientation.size();
  const TextSpan attribute = AttributeValue(packet, after);
  return Trimmed(packet, attribute.start != std::string::npos ? attribute : ElementText(packet, after));
}

void SetOrientationInXmp(FIBITMAP* bitmap) {
  FITAG* found = nullptr;
  if (!FreeImage_GetMetadata(FIMD_XMP, bitmap, "XMLPacket", &found) || !found) return;
  const auto* value = static_cast<const char*>(FreeImage_GetTagValue(found));
  if (!value) return;
  std::string packet(value, FreeImage_GetTagLength(found));
  if (!SetOrientationInXmpPacket(packet, kUpright)) return;
  TagPtr patched(FreeImage_CloneTag(found));
  const auto length = static_cast<DWORD>(packet.size());
  if (patched && FreeImage_SetTagLength(patched.get(), length) && FreeImage_SetTagCount(patched.get(), length) &&
      FreeImage_SetTagValue(patched.get(), packet.data()))
    FreeImage_SetMetadata(FIMD_XMP, bitmap, "XMLPacket", patched.get());
}

}  // namespace

bool SetOrientationInXmpPacket(std::string& packet, uint16_t value) {
  const std::string text = std::to_string(value);
  bool found = false;
  for (size_t at = packet.find(kXmpOrientation); at != std::string::npos;
       at = packet.find(kXmpOrientation, at + kXmpOrientation.size())) {
    const TextSpan span = XmpOrientationValue(packet, at);
    if (span.start == std::string::npos) continue;
    packet.replace(span.start, span.length, text);
    found = true;
  }
  return found;
}

bool SetOrientationInExifBlock(std::vector<uint8_t>& block, uint16_t value) {
  size_t base = 0;
  bool littleEndian = true;
  if (!FindTiffHeader(block, base, littleEndian)) return false;
  ExifBlockView view{block, base, littleEndian};
  const size_t directory = base + view.Read(base + 4, 4);
  if (directory < base || !view.Has(directory, 2)) return false;
  const uint32_t entries = view.Read(directory, 2);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t entry = directory + 2 + i * kEntrySize;
    if (!view.Has(entry, kEntrySize)) return false;
    if (view.Read(entry, 2) != kOrientationTag) continue;
    const uint32_t type = view.Read(entry + 2, 2);
    if (view.Read(entry + 4, 4) != 1 || (type != kTypeShort && type != kTypeLong)) return false;
    view.Write(entry + 8, type == kTypeShort ? 2 : 4, value);
    return true;
  }
  return false;
}

void MarkMetadataUpright(FIBITMAP* bitmap) {
  if (!bitmap) return;
  SetOrientationInRawBlock(bitmap);
  SetOrientationInMainTags(bitmap);
  SetOrientationInXmp(bitmap);
}
