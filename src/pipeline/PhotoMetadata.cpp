#include "pipeline/PhotoMetadata.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <string_view>

struct PhotoMetadata {
  Exiv2::ExifData exif;
  Exiv2::IptcData iptc;
  Exiv2::XmpData xmp;
  Exiv2::ByteOrder byteOrder = Exiv2::littleEndian;
};

void PhotoMetadataDeleter::operator()(PhotoMetadata* metadata) const { std::default_delete<PhotoMetadata>()(metadata); }

namespace {

constexpr int kApp1 = 0xE1, kApp13 = 0xED;
constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::string_view kXmpId{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kPhotoshopId{"Photoshop 3.0\0", 14};
// A segment holds at most 65535 bytes with its two-byte length field.
constexpr size_t kSegmentCapacity = 65533;

// ---- what of the camera file's EXIF describes the photograph --------------------------

// The EXIF groups of the photograph itself; the others describe the camera file's other
// images (thumbnails, previews, the raw data's own directories). Maker notes are kept as
// far as Exiv2 decoded them, and so can write them back with their offsets made new.
const std::string_view kPhotographGroups[] = {"Image", "Photo", "GPSInfo", "Iop", "MakerNote"};
// Maker-note directories that hold a preview picture of the camera file.
const std::string_view kMakerPreviewGroups[] = {"NikonPreview", "SamsungPreview"};
// Maker-note tags that point at a thumbnail or preview picture of the camera file.
const std::string_view kMakerPreviewKeys[] = {
    "Exif.Minolta.ThumbnailOffset",
    "Exif.Minolta.ThumbnailLength",
    "Exif.Minolta.Thumbnail",
    "Exif.Olympus.ThumbnailOffset",
    "Exif.Olympus.ThumbnailLength",
    "Exif.Olympus.ThumbnailImage",
    "Exif.Olympus.Thumbnail",
    "Exif.Olympus2.ThumbnailOffset",
    "Exif.Olympus2.ThumbnailLength",
    "Exif.Olympus2.ThumbnailImage",
    "Exif.Olympus2.Thumbnail",
    "Exif.OlympusCs.PreviewImageStart",
    "Exif.OlympusCs.PreviewImageLength",
    "Exif.OlympusCs.PreviewImageValid",
    "Exif.Pentax.PreviewOffset",
    "Exif.Pentax.PreviewLength",
    "Exif.Pentax.PreviewResolution",
    "Exif.PentaxDng.PreviewOffset",
    "Exif.PentaxDng.PreviewLength",
    "Exif.PentaxDng.PreviewResolution",
};

struct TagRange {
  uint16_t first, last;
};

// First-directory tags that describe the camera file's own image data (its layout,
// compression, colour filter, DNG processing data) or carry what the JPEG keeps in segments
// of their own (XMP, IPTC, Photoshop resources, the ICC profile).
const TagRange kCameraFileImageTags[] = {
    {0x00FE, 0x0103},  // NewSubfileType, SubfileType, ImageWidth, ImageLength, BitsPerSample, Compression
    {0x0106, 0x0106},  // PhotometricInterpretation
    {0x010A, 0x010A},  // FillOrder
    {0x0111, 0x0111},  // StripOffsets
    {0x0115, 0x0117},  // SamplesPerPixel, RowsPerStrip, StripByteCounts
    {0x011C, 0x011C},  // PlanarConfiguration
    {0x0142, 0x0145},  // TileWidth, TileLength, TileOffsets, TileByteCounts
    {0x014A, 0x014A},  // SubIFDs
    {0x015B, 0x015B},  // JPEGTables
    {0x0201, 0x0202},  // JPEGInterchangeFormat, JPEGInterchangeFormatLength
    {0x0211, 0x0214},  // YCbCrCoefficients, YCbCrSubSampling, YCbCrPositioning, ReferenceBlackWhite
    {0x02BC, 0x02BC},  // XMLPacket
    {0x828D, 0x828E},  // CFARepeatPatternDim, CFAPattern
    {0x83BB, 0x83BB},  // IPTCNAA
    {0x8649, 0x8649},  // ImageResources
    {0x8773, 0x8773},  // InterColorProfile
    {0xC612, 0xC62E},  // DNGVersion .. LinearResponseLimit
    {0xC631, 0xCDFF},  // ChromaBlurRadius .. (the rest of the DNG tags; DNGPrivateData among them)
};
// Exif-directory tags of the camera file's data: a maker note Exiv2 could not decode (its
// offsets point into the camera file) and the sensor's colour filter pattern.
const uint16_t kCameraFileExifTags[] = {0x927C, 0xA302};

template <typename List, typename Item>
bool Lists(const List& list, const Item& item) {
  return std::find(std::begin(list), std::end(list), item) != std::end(list);
}

bool InRanges(uint16_t tag) {
  return std::any_of(std::begin(kCameraFileImageTags), std::end(kCameraFileImageTags),
                     [tag](const TagRange& range) { return tag >= range.first && tag <= range.last; });
}

bool DescribesPhotograph(const Exiv2::Exifdatum& datum) {
  const std::string group = datum.groupName();
  if (Exiv2::ExifTags::isMakerGroup(group))
    return !Lists(kMakerPreviewGroups, group) && !Lists(kMakerPreviewKeys, datum.key());
  if (!Lists(kPhotographGroups, group)) return false;
  if (group == "Image") return !InRanges(datum.tag());
  return group != "Photo" || !Lists(kCameraFileExifTags, datum.tag());
}

bool IsMakerNote(const Exiv2::Exifdatum& datum) {
  return Exiv2::ExifTags::isMakerGroup(datum.groupName()) || datum.groupName() == "MakerNote";
}

template <typename Data, typename Drop>
void EraseIf(Data& data, Drop drop) {
  for (auto at = data.begin(); at != data.end();) at = drop(*at) ? data.erase(at) : std::next(at);
}

// Set only where the camera wrote it: the pixels are upright.
template <typename Key, typename Data, typename Value>
void ReplaceIfPresent(Data& data, const char* key, const Value& value) {
  const auto at = data.findKey(Key(key));
  if (at != data.end()) *at = value;
}

Exiv2::ExifData PhotographExif(const Exiv2::ExifData& source, int width, int height) {
  Exiv2::ExifData exif = source;
  EraseIf(exif, [](const Exiv2::Exifdatum& datum) { return !DescribesPhotograph(datum); });
  ReplaceIfPresent<Exiv2::ExifKey>(exif, "Exif.Image.Orientation", uint16_t{1});
  exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
  exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
  return exif;
}

// XMP properties of the camera file's own image data, or of its thumbnails.
const std::string_view kCameraFileXmpKeys[] = {
    "Xmp.tiff.BitsPerSample",    "Xmp.tiff.Compression",         "Xmp.tiff.PhotometricInterpretation",
    "Xmp.tiff.SamplesPerPixel",  "Xmp.tiff.PlanarConfiguration", "Xmp.tiff.YCbCrSubSampling",
    "Xmp.tiff.YCbCrPositioning", "Xmp.exif.CFAPattern",          "Xmp.xmp.Thumbnails",
};

Exiv2::XmpData PhotographXmp(const Exiv2::XmpData& source, int width, int height) {
  Exiv2::XmpData xmp = source;
  EraseIf(xmp, [](const Exiv2::Xmpdatum& datum) {
    const std::string key = datum.key();
    return std::any_of(std::begin(kCameraFileXmpKeys), std::end(kCameraFileXmpKeys),
                       [&](std::string_view dropped) { return key.compare(0, dropped.size(), dropped) == 0; });
  });
  const std::string widthText = std::to_string(width), heightText = std::to_string(height);
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", std::string("1"));
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageWidth", widthText);
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageLength", heightText);
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelXDimension", widthText);
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelYDimension", heightText);
  ReplaceIfPresent<Exiv2::XmpKey>(xmp, "Xmp.dc.format", std::string("image/jpeg"));
  return xmp;
}

// ---- segments --------------------------------------------------------------------------

JpegSegment MakeSegment(int marker, std::string_view id, const unsigned char* data, size_t size) {
  JpegSegment segment{marker, {}};
  segment.data.reserve(id.size() + size);
  segment.data.insert(segment.data.end(), id.begin(), id.end());
  segment.data.insert(segment.data.end(), data, data + size);
  return segment;
}

bool AddExifSegment(const Exiv2::ExifData& exif, Exiv2::ByteOrder order, JpegSegments& segments) {
  if (exif.empty()) return true;
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, nullptr, 0, order, exif);
  if (blob.size() + kExifId.size() > kSegmentCapacity) return false;
  segments.push_back(MakeSegment(kApp1, kExifId, blob.data(), blob.size()));
  return true;
}

bool AddXmpSegment(const Exiv2::XmpData& xmp, JpegSegments& segments) {
  if (xmp.empty()) return true;
  std::string packet;
  if (Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting) !=
          0 ||
      packet.size() + kXmpId.size() > kSegmentCapacity)
    return false;
  segments.push_back(MakeSegment(kApp1, kXmpId, reinterpret_cast<const unsigned char*>(packet.data()), packet.size()));
  return true;
}

// The IPTC records travel in a Photoshop resource block, split over as many segments as it
// needs; readers join them again.
void AddIptcSegments(const Exiv2::IptcData& iptc, JpegSegments& segments) {
  if (iptc.empty()) return;
  const Exiv2::DataBuf block = Exiv2::Photoshop::setIptcIrb(nullptr, 0, iptc);
  const size_t size = static_cast<size_t>(std::max(block.size_, 0L)), chunk = kSegmentCapacity - kPhotoshopId.size();
  for (size_t at = 0; at < size; at += chunk)
    segments.push_back(MakeSegment(kApp13, kPhotoshopId, block.pData_ + at, std::min(chunk, size - at)));
}

// An EXIF block too large for its segment loses the maker notes first, which are the bulk.
bool AddPhotographSegments(const PhotoMetadata& metadata, int width, int height, JpegSegments& segments) {
  Exiv2::ExifData exif = PhotographExif(metadata.exif, width, height);
  if (!AddExifSegment(exif, metadata.byteOrder, segments)) {
    EraseIf(exif, IsMakerNote);
    if (!AddExifSegment(exif, metadata.byteOrder, segments)) return false;
  }
  if (!AddXmpSegment(PhotographXmp(metadata.xmp, width, height), segments)) return false;
  AddIptcSegments(metadata.iptc, segments);
  return true;
}

// Exiv2 prints its warnings itself unless told otherwise; this program reports through its
// own lines. BMFF files (Canon's CR3) are read only once asked for.
void PrepareExiv2() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::enableBMFF(true);
    Exiv2::XmpParser::initialize();
  });
}

// Exiv2's first line, without the file's name that it puts in front.
std::string Reason(const char* text, const std::string& path) {
  std::string line(text, std::strcspn(text, "\r\n"));
  if (line.compare(0, path.size() + 2, path + ": ") == 0) line.erase(0, path.size() + 2);
  return line.empty() ? "no reason given" : line;
}

bool Starts(const unsigned char* data, size_t length, std::string_view id) {
  return length >= id.size() && std::memcmp(data, id.data(), id.size()) == 0;
}

}  // namespace

PhotoMetadataPtr ReadPhotoMetadata(const std::string& path, std::string& failure) {
  try {
    PrepareExiv2();
    const auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    PhotoMetadataPtr metadata(std::make_unique<PhotoMetadata>(PhotoMetadata{image->exifData(), image->iptcData(),
                                                                            image->xmpData(), image->byteOrder()})
                                  .release());
    if (metadata->byteOrder == Exiv2::invalidByteOrder) metadata->byteOrder = Exiv2::littleEndian;
    if (!metadata->exif.empty() || !metadata->iptc.empty() || !metadata->xmp.empty()) return metadata;
    failure = "it holds no EXIF, IPTC or XMP";
  } catch (const std::exception& error) {
    failure = Reason(error.what(), path);
  } catch (...) {
    failure = "no reason given";
  }
  return nullptr;
}

std::optional<JpegSegments> EncodePhotoMetadata(const PhotoMetadata& metadata, int width, int height,
                                                std::string& failure) {
  try {
    JpegSegments segments;
    if (AddPhotographSegments(metadata, width, height, segments)) return segments;
    failure = "it does not fit into the JPEG's segments";
  } catch (const std::exception& error) {
    failure = Reason(error.what(), "");
  } catch (...) {
    failure = "no reason given";
  }
  return std::nullopt;
}

bool IsPhotoMetadataSegment(int marker, const unsigned char* data, size_t length) {
  if (marker == kApp1) return Starts(data, length, kExifId) || Starts(data, length, kXmpId);
  return marker == kApp13 && Starts(data, length, kPhotoshopId);
}
