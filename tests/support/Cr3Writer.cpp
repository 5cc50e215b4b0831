#include "support/Cr3Writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/FilePtr.h"
#include "support/DngWriter.h"
#include "support/TiffDirectories.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A big-endian box field: `value` in `size` bytes.
struct Field {
  uint64_t value;
  int size;
};

Bytes Fields(std::initializer_list<Field> fields) {
  Bytes bytes;
  for (const Field& f : fields)
    for (int i = f.size - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(i >= 8 ? 0 : f.value >> (8 * i)));
  return bytes;
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Box(std::string_view type, std::initializer_list<Bytes> parts) {
  size_t size = 8;
  for (const Bytes& part : parts) size += part.size();
  Bytes box = Fields({{size, 4}});
  box.insert(box.end(), type.begin(), type.end());
  for (const Bytes& part : parts) Append(box, part);
  return box;
}

const Bytes kCanonUuid = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                          0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
const Bytes kVersionAndFlags = Fields({{0, 4}});
const Bytes kUnitMatrix = Fields({{0x10000, 4}, {0, 8}, {0, 4}, {0x10000, 4}, {0, 8}, {0, 4}, {0x40000000, 4}});

// The raw track states a lossless 14-bit RGGB picture in one tile. Its sample, a header of
// this size and two bytes a pixel, is all zeros: no CRX code.
constexpr uint32_t kRawHeaderBytes = 0x30;

struct Layout {
  uint64_t previewAt = 0, rawAt = 0, mdatAt = 0;
  uint32_t previewBytes = 0, rawBytes = 0;
  uint64_t mdatBytes = 0;
};

// A TIFF file's bytes holding one directory: the form of the CMT boxes.
Bytes TiffBlock(const TiffDirectory& directory) {
  Bytes block = {'I', 'I', 42, 0};
  Put32(block, 8);
  AppendDirectory(block, directory);
  return block;
}

Bytes CameraBox(const Cr3Options& o) {
  TiffDirectory d;
  AddLong(d, 256, static_cast<uint32_t>(o.width));
  AddLong(d, 257, static_cast<uint32_t>(o.height));
  AddAscii(d, 271, o.make);
  AddAscii(d, 272, o.model);
  if (o.orientation != 0) AddShorts(d, 274, {static_cast<uint32_t>(o.orientation)});
  AddAscii(d, 306, o.dateTime);
  return Box("CMT1", {TiffBlock(d)});
}

Bytes ExifBox(const Cr3Options& o) {
  TiffDirectory d;
  AddFractions(d, 33434, kRational, {o.exposureSeconds});
  AddFractions(d, 33437, kRational, {o.fNumber});
  AddShorts(d, 34855, {static_cast<uint32_t>(o.iso)});
  AddBytes(d, 36864, kUndefined, {'0', '2', '3', '1'});
  AddAscii(d, 36867, o.dateTime);
  AddAscii(d, 42036, o.lensModel);
  return Box("CMT2", {TiffBlock(d)});
}

void AddDegrees(TiffDirectory& d, uint16_t tag, double degrees) {
  const double whole = std::floor(degrees), minutes = std::floor((degrees - whole) * 60);
  AddFractions(d, tag, kRational, {whole, minutes, ((degrees - whole) * 60 - minutes) * 60});
}

Bytes GpsBox(const Cr3Options& o) {
  TiffDirectory d;
  AddBytes(d, 0, kByte, {2, 3, 0, 0});
  AddAscii(d, 1, o.latitude < 0 ? "S" : "N");
  AddDegrees(d, 2, std::fabs(o.latitude));
  AddAscii(d, 3, o.longitude < 0 ? "W" : "E");
  AddDegrees(d, 4, std::fabs(o.longitude));
  return Box("CMT4", {TiffBlock(d)});
}

// A thumbnail a quarter of the picture's size.
Bytes ThumbnailBox(const Cr3Options& o) {
  const int width = (o.width + 3) / 4, height = (o.height + 3) / 4;
  const Bytes jpeg = SceneJpeg(DngOptions{.width = width, .height = height});
  return Box("THMB", {kVersionAndFlags, Fields({{uint64_t(width), 2}, {uint64_t(height), 2}, {jpeg.size(), 4}}),
                      Fields({{1, 2}, {0, 2}}), jpeg});
}

// Canon's uuid box: the file's version, its track list, where its parts are, and the
// camera's metadata.
Bytes CanonBox(const Cr3Options& o, const Layout& layout) {
  const Bytes trackList =
      Box("CCTP", {Fields({{0, 4}, {1, 4}, {2, 4}}), Box("CCDT", {Fields({{0x10, 8}, {0, 4}, {1, 4}})}),
                   Box("CCDT", {Fields({{0x01, 8}, {0, 4}, {2, 4}})})});
  const Bytes offsets = Box("CTBO", {Fields({{1, 4}, {3, 4}, {layout.mdatAt, 8}, {layout.mdatBytes, 8}})});
  Bytes content = kCanonUuid;
  for (const Bytes& part : {Box("CNCV", {Text("CanonCR3_001/00.09.00/00.00.00")}), trackList, offsets, CameraBox(o),
                            ExifBox(o), o.gps ? GpsBox(o) : Bytes{}, ThumbnailBox(o)})
    Append(content, part);
  return Box("uuid", {content});
}

// A CRAW sample entry: the visual sample entry's 78 bytes, four of Canon's, then `codec`.
Bytes SampleEntry(int width, int height, const Bytes& codec) {
  return Box("CRAW",
             {Fields({{0, 6}, {1, 2}, {0, 16}, {uint64_t(width), 2}, {uint64_t(height), 2}}),
              Fields({{0x480000, 4}, {0x480000, 4}, {0, 4}, {1, 2}, {0, 32}, {24, 2}, {0xFFFF, 2}, {0, 4}}), codec});
}

Bytes Track(uint32_t id, int width, int height, const Bytes& codec, uint64_t at, uint32_t bytes) {
  const Bytes header = Box("tkhd", {Fields({{1, 4}, {0, 8}, {id, 4}, {0, 4}, {1, 4}, {0, 8}, {0, 8}}), kUnitMatrix,
                                    Fields({{uint64_t(width) << 16, 4}, {uint64_t(height) << 16, 4}})});
  const Bytes handler = Box("hdlr", {kVersionAndFlags, Fields({{0, 4}}), Text("vide"), Fields({{0, 12}, {0, 1}})});
  const Bytes references =
      Box("dinf", {Box("dref", {kVersionAndFlags, Fields({{1, 4}}), Box("url ", {Fields({{1, 4}})})})});
  const Bytes samples =
      Box("stbl", {Box("stsd", {kVersionAndFlags, Fields({{1, 4}}), SampleEntry(width, height, codec)}),
                   Box("stts", {kVersionAndFlags, Fields({{1, 4}, {1, 4}, {1, 4}})}),
                   Box("stsc", {kVersionAndFlags, Fields({{1, 4}, {1, 4}, {1, 4}, {1, 4}})}),
                   Box("stsz", {kVersionAndFlags, Fields({{bytes, 4}, {1, 4}})}),
                   Box("co64", {kVersionAndFlags, Fields({{1, 4}, {at, 8}})})});
  const Bytes media = Box("minf", {Box("vmhd", {Fields({{1, 4}, {0, 8}})}), references, samples});
  return Box(
      "trak",
      {header, Box("mdia", {Box("mdhd", {kVersionAndFlags, Fields({{0, 8}, {1, 4}, {1, 4}, {0x55c4, 2}, {0, 2}})}),
                            handler, media})});
}

// The raw track's codec header, the fields the RAW decoder checks before it decodes.
Bytes RawCodec(int width, int height) {
  return Box("CMP1", {Fields({{0, 4},
                              {0x100, 2},  // version
                              {0, 2},
                              {uint64_t(width), 4},
                              {uint64_t(height), 4},
                              {uint64_t(width), 4},  // one tile
                              {uint64_t(height), 4},
                              {14, 1},    // bits a sample
                              {0x40, 1},  // four planes, R G / G B
                              {0, 1},     // lossless, no wavelet levels
                              {0, 1},     // no tile rows or columns
                              {kRawHeaderBytes, 4},
                              {0, 20}})});
}

Bytes MovieBox(const Cr3Options& o, const Layout& layout) {
  const int rawWidth = o.width & ~1, rawHeight = o.height & ~1;
  const Bytes movieHeader =
      Box("mvhd", {kVersionAndFlags, Fields({{0, 8}, {1, 4}, {1, 4}, {0x10000, 4}, {0x100, 2}, {0, 10}}), kUnitMatrix,
                   Fields({{0, 24}, {3, 4}})});
  return Box("moov",
             {CanonBox(o, layout), movieHeader,
              Track(1, o.width, o.height, Box("JPEG", {Fields({{0, 4}})}), layout.previewAt, layout.previewBytes),
              Track(2, rawWidth, rawHeight, RawCodec(rawWidth, rawHeight), layout.rawAt, layout.rawBytes)});
}

bool WriteAll(const std::string& path, std::initializer_list<const Bytes*> parts) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  for (const Bytes* part : parts)
    if (std::fwrite(part->data(), 1, part->size(), file.get()) != part->size()) return false;
  return std::fclose(file.release()) == 0;
}

}  // namespace

bool WriteTestCr3(const std::string& path, const Cr3Options& o) {
  if (o.width < 44 || o.height < 44 || o.width > 8192 || o.height > 8192) return false;
  const Bytes preview = SceneJpeg(DngOptions{.width = o.width, .height = o.height});
  if (preview.empty()) return false;
  const Bytes raw(kRawHeaderBytes + static_cast<size_t>(o.width & ~1) * static_cast<size_t>(o.height & ~1) * 2, 0);
  const Bytes fileType = Box("ftyp", {Text("crx "), Fields({{1, 4}}), Text("crx isom")});

  Layout layout{.previewBytes = static_cast<uint32_t>(preview.size()),
                .rawBytes = static_cast<uint32_t>(raw.size()),
                .mdatBytes = 8 + preview.size() + raw.size()};
  // The offsets take fixed room, so a first pass with them unknown gives the layout.
  layout.mdatAt = fileType.size() + MovieBox(o, layout).size();
  layout.previewAt = layout.mdatAt + 8;
  layout.rawAt = layout.previewAt + preview.size();
  const Bytes movie = MovieBox(o, layout);
  const Bytes mediaHeader = Fields({{layout.mdatBytes, 4}, {0x6d646174, 4}});  // "mdat"
  return WriteAll(path, {&fileType, &movie, &mediaHeader, &preview, &raw});
}
